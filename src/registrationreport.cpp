#include "registrationreport.h"

#include "registrationparams.h"

#include <QStringList>

namespace {

// Short labels of the tax systems, bits 0 to 5 of the taxes byte.
const char *const taxLabels[] = {
    "ОСН",
    "УСН доход",
    "УСН доход-расход",
    "ЕНВД",
    "ЕСХН",
    "Патент",
};

// Short labels of the agent kinds, bits 0 to 6 of the agent byte.
const char *const agentLabels[] = {
    "БАНК ПЛ. АГЕНТ",
    "БАНК ПЛ. СУБАГЕНТ",
    "ПЛ. АГЕНТ",
    "ПЛ. СУБАГЕНТ",
    "ПОВЕРЕННЫЙ",
    "КОМИССИОНЕР",
    "АГЕНТ",
};

// Short labels of the work modes, bits 0 to 9 of the work-mode flags.
const char *const workModeLabels[] = {
    "ШФД",
    "АВТОНОМ. РЕЖИМ",
    "АВТОМАТ. РЕЖИМ",
    "ККТ ДЛЯ УСЛУГ",
    "АС БСО",
    "ККТ ДЛЯ ИНТЕРНЕТ",
    "ПРИНТЕР В АВТОМАТЕ",
    "ПОДАКЦИЗНЫЕ ТОВАРЫ",
    "ПРОВЕДЕНИЕ АЗАРТНОЙ ИГРЫ",
    "ПРОВЕДЕНИЕ ЛОТЕРЕИ",
};

template <size_t N> QStringList labelsOfBits(quint32 bits, const char *const (&labels)[N])
{
    QStringList result;
    for (size_t bit = 0; bit < N; ++bit) {
        if (bits & (1u << bit))
            result << QString::fromUtf8(labels[bit]);
    }
    return result;
}

QString centred(const QString &value)
{
    return QStringLiteral("<div align=\"center\">%1</div>").arg(value);
}

} // namespace

QString reportRow(const QString &label, const QString &value)
{
    // The two values are put in with one call, so a "%1" inside the label is
    // not taken for the place of the value.
    return QStringLiteral("<table width=\"100%\"cellspacing=0 cellpadding=0>\n"
                          "<tr><td align=\"left\">%1</td><td align=\"right\">%2</td></tr></table>")
        .arg(label, value);
}

QString reportHtml(const RegistrationParams &params)
{
    QStringList lines;
    lines << QStringLiteral("<!DOCTYPE HTML><html><head>")
          << QStringLiteral(
                 "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">")
          << QStringLiteral("</head><body>")
          << QStringLiteral("<h3 align=\"center\">ОТЧЕТ О РЕГИСТРАЦИИ</h3>")
          << centred(params.userName())
          << QStringLiteral("<div align=\"center\">ИНН %1</div>").arg(params.userInn());
    if (!params.paymentAddress().isEmpty())
        lines << centred(params.paymentAddress());
    if (!params.paymentPlace().isEmpty())
        lines << QStringLiteral("<div align=\"center\">МЕСТО РАСЧЕТОВ%1</div>")
                     .arg(params.paymentPlace());
    if (!params.regCashierName().isEmpty())
        lines << reportRow(QStringLiteral("КАССИР"), params.regCashierName());
    if (!params.regCashierInn().isEmpty())
        lines << reportRow(QStringLiteral("ИНН КАССИРА"), params.regCashierInn());
    if (params.regDate().isValid())
        lines << reportRow(QString(), params.regDate().toString(QStringLiteral("dd.MM.yy hh:mm")));
    if (!params.email().isEmpty())
        lines << reportRow(QStringLiteral("ЭЛ. АДРЕС ОТПРАВИТЕЛЯ"), params.email());
    if (!params.ofdName().isEmpty()) {
        lines << reportRow(QStringLiteral("НАИМЕНОВАНИЕ ОФД"), params.ofdName())
              << reportRow(QStringLiteral("ИНН ОФД"), params.ofdInn());
    }
    const QStringList taxes = labelsOfBits(params.taxes(), taxLabels);
    if (!taxes.isEmpty())
        lines << reportRow(QStringLiteral("СНО"), taxes.join(QStringLiteral(", ")));
    const QStringList agents = labelsOfBits(params.agentFlags(), agentLabels);
    if (!agents.isEmpty())
        lines << QStringLiteral("<div align=\"left\">%1</div>")
                     .arg(agents.join(QStringLiteral(", ")));
    const QStringList modes = labelsOfBits(params.regFlags(), workModeLabels);
    for (const QString &mode : modes)
        lines << reportRow(QString(), mode);
    if (!params.atmNumber().isEmpty())
        lines << reportRow(QStringLiteral("АВТОМАТ"), params.atmNumber());
    if (!params.fnsSite().isEmpty())
        lines << reportRow(QStringLiteral("АДРЕС САЙТА ФНС"), params.fnsSite());
    lines << reportRow(QStringLiteral("ФФД ККТ"), QStringLiteral("1.05"))
          << reportRow(QStringLiteral("ФФД ФН"), QStringLiteral("1.05"))
          << reportRow(params.officialName(), params.serial())
          << reportRow(QStringLiteral("ВЕРСИЯ ККТ"), params.officialVersion())
          << reportRow(QStringLiteral("РЕГ. НОМЕР"), params.regNumber());
    if (params.regDocNumber() != 0)
        lines << reportRow(QStringLiteral("ФД "), QString::number(params.regDocNumber()));
    lines << reportRow(QStringLiteral("ФН"), params.fsNumber());
    if (params.fiscalCode() != 0) {
        lines << QStringLiteral("<div align=\"center\"><b><font size=3>ФП %1</font></b></div>")
                     .arg(params.fiscalCode(), 10, 10, QLatin1Char('0'));
    }
    lines << QStringLiteral("</body></html>");
    return lines.join(QLatin1Char('\n'));
}
