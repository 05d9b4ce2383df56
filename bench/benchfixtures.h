#ifndef BENCHFIXTURES_H
#define BENCHFIXTURES_H

#include "registrationparams.h"

#include <QByteArray>
#include <QDateTime>

// The data the benchmarks work on, made once.
namespace benchfixtures {

// A registration record with every field the form fills, each free text at
// the longest length its check allows (names, addresses, place, site 256
// characters of Cyrillic text, cashier 64, e-mail 64), all tax systems and
// agent kinds, every work mode that does not drop a TLV (not offline, not in
// an automat). OFD: the directory's operator with INN 7703282175.
RegistrationParams fullRecord();

// The same record after a registration: storage number, date, document
// number and fiscal sign filled in.
RegistrationParams registeredRecord();

// One TLV: tag (2, LE), length (2, LE), value.
QByteArray tlv(quint16 tag, const QByteArray &value);

// The OFD's receipt as the storage takes it with 0x26: storage number
// (1041), document number (1040), receipt time (1012), operator sign (1078).
QByteArray ofdReceipt(const QByteArray &fsNumber, quint32 docNumber);

// A storage frame (start byte, length, code, data, CRC) made without the
// program's frame classes: the answers the micro-benchmarks parse.
QByteArray storageFrame(quint8 code, const QByteArray &data);

// Answer data of the status command 0x30 (30 bytes) for a fresh MGM.
QByteArray statusAnswerData();

// Bytes of a fixed pattern (not all equal, so a checksum has work to do).
QByteArray patternBytes(int size);

// The date-time the benchmarks close registrations with.
QDateTime registrationTime();

} // namespace benchfixtures

#endif // BENCHFIXTURES_H
