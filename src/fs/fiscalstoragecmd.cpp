#include "fs/fiscalstoragecmd.h"

FiscalStorageCmd::FiscalStorageCmd() = default;

FiscalStorageCmd::FiscalStorageCmd(quint8 code, quint16 answerSize)
    : FiscalStorageMsg(code, QByteArray())
    , m_answerSize(answerSize)
{
}

FiscalStorageCmd::FiscalStorageCmd(quint8 code, const QByteArray &data, quint16 answerSize)
    : FiscalStorageMsg(code, data)
    , m_answerSize(answerSize)
{
}

FiscalStorageCmd FiscalStorageCmd::beginRegistration(quint8 kind, quint16 answerSize)
{
    return FiscalStorageCmd(0x02, QByteArray(1, char(kind)), answerSize);
}

bool FiscalStorageCmd::isValid() const
{
    return isValidCommand(m_code, m_data);
}

bool FiscalStorageCmd::isValidCommand(quint8 code, const QByteArray &data)
{
    const int size = data.size();
    if (size > MaxDataSize)
        return false;

    switch (code) {
    case 0x02:
        return size == 1 && quint8(data.at(0)) <= 2;
    case 0x03:
        return size >= 20;
    case 0x05:
        return size == 25;
    case 0x07:
    case 0x26:
        return size >= 1;
    case 0x11:
    case 0x13:
    case 0x15:
    case 0x17:
    case 0x18:
        return size == 5;
    case 0x16:
        return size == 11;
    case 0x21:
    case 0x60:
        return size == 1;
    case 0x23:
    case 0x40:
    case 0x41:
    case 0x45:
        return size == 4;
    case 0x04: case 0x06: case 0x10: case 0x12: case 0x14: case 0x19:
    case 0x20: case 0x22: case 0x24: case 0x25:
    case 0x30: case 0x31: case 0x32: case 0x33: case 0x35:
    case 0x42: case 0x43: case 0x44: case 0x46:
        return true;
    default:
        return false;
    }
}
