#ifndef FISCALSTORAGECMD_H
#define FISCALSTORAGECMD_H

#include "fs/fiscalstoragemsg.h"

// A command for the fiscal storage. answerSize is how many bytes the worker
// reads first when it fetches the answer; 0 stands for 6, an answer without data.
class FiscalStorageCmd : public FiscalStorageMsg
{
public:
    static constexpr quint16 DefaultAnswerSize = 6;

    FiscalStorageCmd();
    FiscalStorageCmd(quint8 code, quint16 answerSize);
    FiscalStorageCmd(quint8 code, const QByteArray &data, quint16 answerSize);

    // Command 0x02, opening a registration report of the given kind (0, 1 or 2).
    static FiscalStorageCmd beginRegistration(quint8 kind, quint16 answerSize = 0);

    bool isValid() const override;

    quint16 answerSize() const { return m_answerSize; }
    void setAnswerSize(quint16 size) { m_answerSize = size; }
    // The size of the first read: answerSize, or 6 when it is 0.
    quint16 firstReadSize() const { return m_answerSize ? m_answerSize : DefaultAnswerSize; }

    // The command check on its own, for a code and its data.
    static bool isValidCommand(quint8 code, const QByteArray &data);

private:
    quint16 m_answerSize = 0;
};

#endif // FISCALSTORAGECMD_H
