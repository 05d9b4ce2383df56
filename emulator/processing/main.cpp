// tavron-processing-emu: the emulated processing server as a program of its
// own, for the demo and for trying the client by hand.

#include "processingserveremulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavron-processing-emu"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Emulated processing server: HTTPS login and model list for the workshop's program."));
    parser.addHelpOption();
    const QCommandLineOption address({ QStringLiteral("a"), QStringLiteral("address") },
        QStringLiteral("Address to listen on (default 127.0.0.1)."), QStringLiteral("address"),
        QStringLiteral("127.0.0.1"));
    const QCommandLineOption port({ QStringLiteral("p"), QStringLiteral("port") },
        QStringLiteral("Port to listen on; 0 takes a free one (default 8443)."),
        QStringLiteral("port"), QStringLiteral("8443"));
    const QCommandLineOption cert(QStringLiteral("cert"),
        QStringLiteral("PEM file of the server certificate."), QStringLiteral("file"));
    const QCommandLineOption key(QStringLiteral("key"),
        QStringLiteral("PEM file of the server's RSA private key."), QStringLiteral("file"));
    const QCommandLineOption login(QStringLiteral("login"),
        QStringLiteral("Login of the account (default 2604715837)."), QStringLiteral("login"),
        QStringLiteral("2604715837"));
    const QCommandLineOption password(QStringLiteral("password"),
        QStringLiteral("Password of the account (default 37294052)."), QStringLiteral("password"),
        QStringLiteral("37294052"));
    const QCommandLineOption dealerBlocked(QStringLiteral("dealer-blocked"),
        QStringLiteral("The account's dealer is blocked: logins get an empty session."));
    const QCommandLineOption userBlocked(QStringLiteral("user-blocked"),
        QStringLiteral("The account's user is blocked: logins get an empty session."));
    const QCommandLineOption scenario(QStringLiteral("scenario"),
        QStringLiteral("Fault for every answer: %1 (default normal).")
            .arg(ProcessingServerEmulator::scenarioNames().join(QStringLiteral(", "))),
        QStringLiteral("name"), QStringLiteral("normal"));
    const QCommandLineOption result(QStringLiteral("result"),
        QStringLiteral("Code of the result-envelope scenario (default 3)."), QStringLiteral("code"),
        QStringLiteral("3"));
    const QCommandLineOption status(QStringLiteral("http-status"),
        QStringLiteral("Status of the http-error scenario (default 500)."),
        QStringLiteral("status"), QStringLiteral("500"));
    const QCommandLineOption delay(QStringLiteral("delay"),
        QStringLiteral("Delay of the slow-answer scenario in milliseconds (default 1000)."),
        QStringLiteral("ms"), QStringLiteral("1000"));
    const QCommandLineOption raw(QStringLiteral("raw-answer"),
        QStringLiteral("File whose bytes the raw-answer scenario sends."), QStringLiteral("file"));
    const QCommandLineOption hardware(QStringLiteral("hardware"),
        QStringLiteral("JSON file with an array of model records replacing the built-in list."),
        QStringLiteral("file"));
    parser.addOptions({ address, port, cert, key, login, password, dealerBlocked, userBlocked,
        scenario, result, status, delay, raw, hardware });
    parser.process(app);

    QTextStream err(stderr);
    QTextStream out(stdout);
    auto fail = [&err](const QString &text) {
        err << "tavron-processing-emu: " << text << Qt::endl;
        return 2;
    };

    ProcessingServerEmulator emulator;
    if (!parser.isSet(cert) || !parser.isSet(key))
        return fail(QStringLiteral("--cert and --key are required"));
    if (!emulator.setCertificateFiles(parser.value(cert), parser.value(key)))
        return fail(QStringLiteral("cannot read the certificate or the key"));
    emulator.setAccount(parser.value(login), parser.value(password));
    emulator.setDealerBlocked(parser.isSet(dealerBlocked));
    emulator.setUserBlocked(parser.isSet(userBlocked));

    ProcessingServerEmulator::Scenario chosen;
    if (!ProcessingServerEmulator::scenarioFromName(parser.value(scenario), &chosen))
        return fail(QStringLiteral("unknown scenario: %1").arg(parser.value(scenario)));
    emulator.setScenario(chosen);

    bool ok = false;
    emulator.setResultCode(parser.value(result).toLongLong(&ok));
    if (!ok)
        return fail(QStringLiteral("--result needs a number"));
    emulator.setHttpErrorStatus(parser.value(status).toInt(&ok));
    if (!ok || emulator.httpErrorStatus() < 100 || emulator.httpErrorStatus() > 599)
        return fail(QStringLiteral("--http-status needs a status from 100 to 599"));
    emulator.setSlowDelay(parser.value(delay).toInt(&ok));
    if (!ok || emulator.slowDelay() < 0)
        return fail(QStringLiteral("--delay needs a number of milliseconds"));
    if (parser.isSet(raw)) {
        QFile file(parser.value(raw));
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1").arg(file.fileName()));
        emulator.setRawAnswer(file.readAll());
    }
    if (parser.isSet(hardware)) {
        QFile file(parser.value(hardware));
        const QJsonDocument document = file.open(QIODevice::ReadOnly)
            ? QJsonDocument::fromJson(file.readAll())
            : QJsonDocument();
        if (!document.isArray())
            return fail(QStringLiteral("%1 holds no JSON array").arg(file.fileName()));
        emulator.setHardware(document.array().toVariantList());
    }

    const uint portNumber = parser.value(port).toUInt(&ok);
    if (!ok || portNumber > 65535)
        return fail(QStringLiteral("--port needs a number from 0 to 65535"));
    const QHostAddress host(parser.value(address));
    if (host.isNull())
        return fail(QStringLiteral("--address needs an IP address"));
    if (!emulator.start(host, quint16(portNumber)))
        return fail(QStringLiteral("cannot listen: %1").arg(emulator.errorString()));

    QObject::connect(&emulator, &ProcessingServerEmulator::requestReceived,
        [&err](const EmulatedRequest &request) {
            QStringList items;
            const auto query = request.queryItems();
            for (const auto &item : query) {
                items << item.first + QLatin1Char('=')
                        + (item.first == QLatin1String("password") ? QStringLiteral("********")
                                                                   : item.second);
            }
            err << request.method() << ' ' << request.path();
            if (!items.isEmpty())
                err << '?' << items.join(QLatin1Char('&'));
            err << ' ' << request.body().size() << " bytes" << Qt::endl;
        });
    QObject::connect(&emulator, &ProcessingServerEmulator::handshakeFailed,
        [&err]() { err << "TLS handshake failed" << Qt::endl; });

    out << "listening on " << emulator.serverAddress().toString() << ':' << emulator.serverPort()
        << Qt::endl;
    return app.exec();
}
