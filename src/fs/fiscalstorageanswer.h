#ifndef FISCALSTORAGEANSWER_H
#define FISCALSTORAGEANSWER_H

#include "fs/fiscalstoragemsg.h"

class FsState;
class FsTransportState;

// An answer frame of the fiscal storage. The code byte is the storage's
// answer code: 0x00 done, anything else a refusal.
class FiscalStorageAnswer : public FiscalStorageMsg
{
public:
    // The code fsError() reports for an unknown answer code or no answer.
    static constexpr quint8 UnknownError = 0x7F;

    FiscalStorageAnswer();

    quint8 fromByteArray(const QByteArray &frame) override;
    bool isValid() const override;

    quint8 frameResult() const { return m_frameResult; }
    // The answer code with bit 7 cleared when it is a known one, else 0x7F.
    quint8 fsError() const;
    static quint8 mapAnswerCode(quint8 code);

    // Typed decoders of the answer data. Each returns frameResult() when it is
    // not 0, DataMismatch (5) when the data does not have the expected size or
    // content, and 0 after decoding.
    quint8 decodeStatus(FsState &state) const;        // answer to 0x30
    quint8 decodeNumber(FsState &state) const;        // answer to 0x31
    quint8 decodeLifeTime(FsState &state) const;      // answer to 0x32
    quint8 decodeVersion(FsState &state) const;       // answer to 0x33
    quint8 decodeTransport(FsTransportState &transport) const; // answer to 0x20

private:
    quint8 m_frameResult = NotParsed;
};

#endif // FISCALSTORAGEANSWER_H
