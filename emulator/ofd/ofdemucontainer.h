#ifndef OFDEMUCONTAINER_H
#define OFDEMUCONTAINER_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The operator's side of the message container, written for the emulator
// alone. Layout, little-endian:
//   0 signature 2A 08 41 0A | 4 session version 81 A2 | 6 application version 01 05
//   8 storage number, 16 bytes | 24 body length | 26 flags | 28 check value | 30 body
// Flags: bits 0-1 check mode (0 none, 1 header bytes 0-27, 2 header bytes 0-27
// and the body, 3 refused), bit 2 set when there is a body.
namespace ofdemu {

constexpr int HeaderSize = 30;
constexpr int CheckedSize = 28;
constexpr int FsNumberSize = 16;

QByteArray signatureBytes();
QByteArray sessionVersionBytes();
QByteArray applicationVersionBytes();

// CRC-16/CCITT-FALSE: polynomial 0x1021, start 0xFFFF, no reflection, no final XOR.
quint16 crc16(const QByteArray &bytes);

quint16 readLe16(const QByteArray &bytes, int offset);
quint32 readLe32(const QByteArray &bytes, int offset);
void appendLe16(QByteArray &bytes, quint16 value);
void appendLe32(QByteArray &bytes, quint32 value);

// A received header, taken apart and judged.
struct ContainerHeader
{
    QByteArray raw;
    QByteArray fsNumber;
    quint16 length = 0;
    quint16 flags = 0;
    quint16 crc = 0;

    int checkMode() const { return flags & 0x3; }

    // An empty text when the header is sound; otherwise why it is not. The
    // body check needs the body: see bodyFault().
    static ContainerHeader parse(const QByteArray &header, QString *fault);
    QString bodyFault(const QByteArray &body) const;
};

// What the emulator's answers may get wrong on purpose.
struct ContainerFaults
{
    QByteArray signature = signatureBytes();
    QByteArray sessionVersion = sessionVersionBytes();
    int checkMode = 2; // with a body; 1 is used for an empty one
    bool crcOverHeaderOnly = false;
    bool corruptCrc = false;
};

// A complete container for body with the given storage number (cut or padded
// with blanks to 16 bytes: the emulator answers whatever it was sent).
QByteArray buildContainer(const QByteArray &fsNumber, const QByteArray &body,
    const ContainerFaults &faults = ContainerFaults());

} // namespace ofdemu

#endif // OFDEMUCONTAINER_H
