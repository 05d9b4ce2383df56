#include "fs/ofdinfo.h"

#include <utility>

namespace {

// Width of the blank address of the default record.
constexpr int BlankAddressWidth = 64;
constexpr int CommonInterval = 10000;

struct OfdRow
{
    QString inn;
    QString addr;
    quint16 port;
    QString url;
    QString name;
    QString sname;
};

OfdDirectory buildDirectory()
{
    // Servers and check sites are the operators' published values. The
    // operator with INN 7703282175 is served from the loopback address, where
    // the local OFD emulator listens. No server is published for the operator
    // with INN 7725225244: its address stays empty (the record is not valid)
    // until a workshop fills it in, and its check site is a placeholder from
    // the documentation address range.
    const OfdRow rows[] = {
        { QStringLiteral("7704211201"), QStringLiteral("f1.taxcom.ru"), 7777,
            QStringLiteral("https://receipt.taxcom.ru"),
            QStringLiteral("Общество с ограниченной ответственностью Такском"),
            QStringLiteral("Такском") },
        { QStringLiteral("9715260691"), QStringLiteral("ofdp.platformaofd.ru"), 21101,
            QStringLiteral("https://lk.platformaofd.ru/web/noauth/cheque/search"),
            QStringLiteral("Общество с ограниченной ответственностью Эвотор ОФД"),
            QStringLiteral("Эвотор ОФД") },
        { QStringLiteral("7709364346"), QStringLiteral("k-server.1-ofd.ru"), 7777,
            QStringLiteral("https://consumer.1-ofd.ru"),
            QStringLiteral("Акционерное общество Энергетические системы и коммуникации"),
            QStringLiteral("Энергетические системы и коммуникации") },
        { QStringLiteral("7728699517"), QStringLiteral("connect.ofd-ya.ru"), 7779,
            QStringLiteral("https://ofd-ya.ru/check"),
            QStringLiteral("Общество с ограниченной ответственностью Ярус"),
            QStringLiteral("Ярус") },
        { QStringLiteral("7841465198"), QStringLiteral("gate.ofd.ru"), 4000,
            QStringLiteral("https://check.ofd.ru"),
            QStringLiteral("Общество с ограниченной ответственностью ПЕТЕР-СЕРВИС Спецтехнологии"),
            QStringLiteral("ПЕТЕР-СЕРВИС Спецтехнологии") },
        { QStringLiteral("7605016030"), QStringLiteral("kkt.sbis.ru"), 7777,
            QStringLiteral("https://ofd.sbis.ru"),
            QStringLiteral("Общества с ограниченной ответственностью Компания Тензор"),
            QStringLiteral("Компания Тензор") },
        { QStringLiteral("4029017981"), QStringLiteral("ofd.astralnalog.ru"), 7777,
            QStringLiteral("https://ofd.astralnalog.ru"),
            QStringLiteral("Закрытое акционерное общество КАЛУГА АСТРАЛ"),
            QStringLiteral("КАЛУГА АСТРАЛ") },
        { QStringLiteral("6663003127"), QStringLiteral("ofd.kontur.ru"), 7777,
            QStringLiteral("https://cash.kontur.ru/CashReceipt/View"),
            QStringLiteral("Закрытое акционерное общество Производственная фирма СКБ Контур"),
            QStringLiteral("СКБ Контур") },
        { QStringLiteral("7704358518"), QStringLiteral("kkt.ofd.yandex.net"), 12345,
            QStringLiteral("https://ofd.yandex.ru/check"),
            QStringLiteral("Общество с ограниченной ответственностью Яндекс.ОФД"),
            QStringLiteral("Яндекс.ОФД") },
        { QStringLiteral("7729633131"), QStringLiteral("ofd.garantexpress.ru"), 30801,
            QStringLiteral("https://ofd.garantexpress.ru/eKKT/Check/"),
            QStringLiteral("Общество с ограниченной ответственностью Электронный экспресс"),
            QStringLiteral("Электронный экспресс") },
        { QStringLiteral("7801392271"), QStringLiteral("92.38.2.202"), 7001,
            QStringLiteral("https://ofd.esphere.ru/CheckWebApp/fiscaldocsearch.zul"),
            QStringLiteral("Общества с ограниченной ответственностью КОРУС Консалтинг СНГ"),
            QStringLiteral("КОРУС Консалтинг СНГ") },
        { QStringLiteral("2310031475"), QStringLiteral("kkt.ofd-magnit.ru"), 7001,
            QStringLiteral("https://check.ofd-magnit.ru/CheckWebApp/fiscaldocsearch.zul"),
            QStringLiteral("Акционерное общество Тандер"), QStringLiteral("Тандер") },
        { QStringLiteral("5902034504"), QStringLiteral("kkt.ofd-initpro.ru"), 9999,
            QStringLiteral("https://ofd-initpro.ru/check-bill/"),
            QStringLiteral(
                "Общество с ограниченной ответственностью Удостоверяющий центр \"ИнитПро\""),
            QStringLiteral("Удостоверяющий центр \"ИнитПро\"") },
        { QStringLiteral("7729642175"), QStringLiteral("kkt.e-ofd.ru"), 7777,
            QStringLiteral("https://e-ofd.ru/check"),
            QStringLiteral("Общество с ограниченной ответственностью \"ГРУППА ЭЛЕМЕНТ\""),
            QStringLiteral("ГРУППА ЭЛЕМЕНТ") },
        { QStringLiteral("7703282175"), QStringLiteral("127.0.0.1"), 7777,
            QStringLiteral("https://ofd.nvg.ru"),
            QStringLiteral("Акционерное общество \"Энвижн Груп\""), QStringLiteral("Энвижн Груп") },
        { QStringLiteral("7713076301"), QStringLiteral("217.118.87.210"), 7765,
            QStringLiteral("ofd.beeline.ru:81/check-order"),
            QStringLiteral("Публичное акционерное общество \"Вымпел-Коммуникации\""),
            QStringLiteral("Вымпел-Коммуникации") },
        { QStringLiteral("7710007966"), QStringLiteral("ofd.multicarta.ru"), 21101,
            QStringLiteral("https://ofdcheck.multicarta.ru"),
            QStringLiteral("Общество с ограниченной ответственностью \"МультиКарта\""),
            QStringLiteral("МультиКарта") },
        { QStringLiteral("7802870820"), QStringLiteral("185.241.176.4"), 21101,
            QStringLiteral("https://ofdcheck.multicarta.ru"),
            QStringLiteral("Общество с ограниченной ответственностью \"Дримкас\""),
            QStringLiteral("Дримкас") },
        { QStringLiteral("6658497833"), QStringLiteral("ofd.kontur.ru"), 7777,
            QStringLiteral("kontur.ru"),
            QStringLiteral("Общество с ограниченной ответственностью \"Контур НТТ\""),
            QStringLiteral("Контур НТТ") },
        { QStringLiteral("7725225244"), QStringLiteral(""), 19086,
            QStringLiteral("https://192.0.2.1:19086"),
            QStringLiteral("Общество с ограниченной ответственностью \"АТЛАС\""),
            QStringLiteral("АТЛАС") },
    };

    // The DNS server every operator's record carries.
    const QString commonDns = QStringLiteral("8.8.8.8");
    OfdDirectory directory;
    for (const OfdRow &row : rows) {
        directory.insert(row.inn,
            OfdInfo(row.inn, row.addr, row.port, commonDns, CommonInterval, row.url, row.name,
                row.sname));
    }
    return directory;
}

} // namespace

OfdInfo::OfdInfo()
    : m_addr(BlankAddressWidth, QLatin1Char(' '))
    , m_url(QStringLiteral("about:blank")) // names no check site
{ }

OfdInfo::OfdInfo(const QString &inn, const QString &addr, quint16 port, const QString &dns,
    int interval, const QString &url, const QString &name, const QString &sname)
    : m_inn(inn)
    , m_addr(addr.trimmed())
    , m_port(port)
    , m_dns(dns.trimmed())
    , m_interval(interval)
    , m_url(url)
    , m_name(name)
    , m_ai(0)
    , m_sname(sname)
{ }

bool OfdInfo::isValid() const
{
    // An address of blanks names no server, whatever the port.
    return !m_addr.trimmed().isEmpty() && m_port != 0;
}

void OfdInfo::swap(OfdInfo &other) noexcept
{
    using std::swap;
    m_inn.swap(other.m_inn);
    m_addr.swap(other.m_addr);
    swap(m_port, other.m_port);
    m_dns.swap(other.m_dns);
    swap(m_interval, other.m_interval);
    m_url.swap(other.m_url);
    m_name.swap(other.m_name);
    swap(m_ai, other.m_ai);
    m_sname.swap(other.m_sname);
}

bool OfdInfo::operator==(const OfdInfo &other) const
{
    return m_inn == other.m_inn && m_addr == other.m_addr && m_port == other.m_port
        && m_dns == other.m_dns && m_interval == other.m_interval && m_url == other.m_url
        && m_name == other.m_name && m_ai == other.m_ai && m_sname == other.m_sname;
}

const OfdDirectory &ofdDirectory()
{
    static const OfdDirectory directory = buildDirectory();
    return directory;
}

const OfdInfo *findOfdInfo(const QString &inn)
{
    const OfdDirectory &directory = ofdDirectory();
    const auto it = directory.constFind(inn);
    return it == directory.constEnd() ? nullptr : &it.value();
}

namespace {
// Build the directory while the program starts, before any window or worker
// asks for it.
const bool directoryBuiltAtStart = (ofdDirectory(), true);
} // namespace
