// The emulated fiscal data operator as a program of its own: listens (by
// default on 127.0.0.1:7777, the loopback operator of the program's
// directory), records every document it receives as one JSON line and answers
// with a receipt, or misbehaves as the chosen scenario says.

#include "ofdserveremulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace {

// Delays that make each timed scenario visible when none is given.
int defaultDelay(ofdemu::Scenario scenario)
{
    switch (scenario) {
    case ofdemu::Scenario::LateAnswer:
        return 2000;
    case ofdemu::Scenario::SplitAnswer:
        return 300;
    case ofdemu::Scenario::ShortBodyRestLater:
        return 500;
    default:
        return 0;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ofdemulator"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Emulated fiscal data operator (OFD) server."));
    parser.addHelpOption();
    const QCommandLineOption hostOption(QStringLiteral("host"),
        QStringLiteral("Address to listen on."), QStringLiteral("address"),
        QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(QStringLiteral("port"),
        QStringLiteral("Port to listen on; 0 picks a free one."), QStringLiteral("port"),
        QStringLiteral("7777"));
    const QCommandLineOption recordOption(QStringLiteral("record"),
        QStringLiteral("File to append the JSON lines to; - is the standard output."),
        QStringLiteral("file"), QStringLiteral("-"));
    const QCommandLineOption scenarioOption(QStringLiteral("scenario"),
        QStringLiteral("Behaviour: %1.").arg(ofdemu::scenarioNames().join(QStringLiteral(", "))),
        QStringLiteral("name"), QStringLiteral("normal"));
    const QCommandLineOption delayOption(QStringLiteral("delay"),
        QStringLiteral("Delay in ms of late-answer, split-answer and short-body-rest-later."),
        QStringLiteral("ms"));
    const QCommandLineOption holdOption(QStringLiteral("hold"),
        QStringLiteral(
            "no-answer: close the connection after this many ms (default: keep it open)."),
        QStringLiteral("ms"), QStringLiteral("-1"));
    const QCommandLineOption socksOption(QStringLiteral("socks5"),
        QStringLiteral("Take a SOCKS5 greeting and connect request before the containers."));
    parser.addOptions({ hostOption, portOption, recordOption, scenarioOption, delayOption,
        holdOption, socksOption });
    parser.process(app);

    QTextStream err(stderr);
    ofdemu::Scenario scenario = ofdemu::Scenario::Normal;
    if (!ofdemu::scenarioFromName(parser.value(scenarioOption), &scenario)) {
        err << "unknown scenario " << parser.value(scenarioOption)
            << "; known: " << ofdemu::scenarioNames().join(QStringLiteral(", ")) << Qt::endl;
        return 2;
    }
    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    const QHostAddress address(parser.value(hostOption));
    bool delayOk = true;
    const int delay = parser.isSet(delayOption) ? parser.value(delayOption).toInt(&delayOk)
                                                : defaultDelay(scenario);
    bool holdOk = false;
    const int hold = parser.value(holdOption).toInt(&holdOk);
    if (!portOk || port > 0xFFFF || address.isNull() || !delayOk || delay < 0 || !holdOk) {
        err << "bad --host, --port, --delay or --hold" << Qt::endl;
        return 2;
    }

    OfdServerEmulator emulator;
    emulator.setScenario(scenario);
    emulator.setDelay(delay);
    emulator.setHoldTime(hold);
    emulator.setSocks5Front(parser.isSet(socksOption));
    emulator.setRecordFile(parser.value(recordOption));
    if (!emulator.start(address, quint16(port))) {
        err << "cannot listen on " << address.toString() << ':' << port << ": "
            << emulator.errorString() << Qt::endl;
        return 1;
    }
    if (scenario == ofdemu::Scenario::Refuse)
        err << "refusing: nothing listens on " << address.toString() << ':' << emulator.port()
            << Qt::endl;
    else
        err << "listening on " << address.toString() << ':' << emulator.port() << " scenario "
            << ofdemu::scenarioName(scenario) << Qt::endl;
    return app.exec();
}
