#ifndef CRC16_H
#define CRC16_H

#include <QByteArray>
#include <QtGlobal>

// CRC-16/CCITT-FALSE: polynomial 0x1021, initial value 0xFFFF, most significant
// bit first, no reflection, no final XOR. Check value over "123456789": 0x29B1.
class Crc16
{
public:
    static constexpr quint16 Polynomial = 0x1021;
    static constexpr quint16 InitialValue = 0xFFFF;

    Crc16();

    // CRC over size bytes from data; tableDriven chooses the 256-entry table
    // or the bit-by-bit method (both give the same value). An empty range
    // gives 0xFFFF.
    quint16 compute(const char *data, qsizetype size, bool tableDriven = true) const;
    quint16 compute(const QByteArray &data, bool tableDriven = true) const;

    // One shared calculator for callers that need no instance of their own.
    static quint16 checksum(const QByteArray &data);

private:
    quint16 m_table[256];
};

#endif // CRC16_H
