#include "common/crc16.h"

Crc16::Crc16()
{
    for (int byte = 0; byte < 256; ++byte) {
        quint16 crc = quint16(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ Polynomial) : quint16(crc << 1);
        m_table[byte] = crc;
    }
}

quint16 Crc16::compute(const char *data, qsizetype size, bool tableDriven) const
{
    quint16 crc = InitialValue;
    const auto *bytes = reinterpret_cast<const quint8 *>(data);
    if (tableDriven) {
        for (qsizetype i = 0; i < size; ++i)
            crc = quint16((crc << 8) ^ m_table[((crc >> 8) ^ bytes[i]) & 0xFF]);
        return crc;
    }
    for (qsizetype i = 0; i < size; ++i) {
        crc ^= quint16(bytes[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ Polynomial) : quint16(crc << 1);
    }
    return crc;
}

quint16 Crc16::compute(const QByteArray &data, bool tableDriven) const
{
    return compute(data.constData(), data.size(), tableDriven);
}

quint16 Crc16::checksum(const QByteArray &data)
{
    static const Crc16 calculator;
    return calculator.compute(data);
}
