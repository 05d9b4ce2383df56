#ifndef REGISTRATIONREPORT_H
#define REGISTRATIONREPORT_H

#include <QString>

class RegistrationParams;

// The registration report as an HTML page. Before the storage has closed the
// registration the rows of its results (date, document number, fiscal sign)
// are left out. Values go into the markup as they stand, without escaping.
QString reportHtml(const RegistrationParams &params);

// One report row: the label on the left edge, the value on the right edge,
// as two lines of a one-row table.
QString reportRow(const QString &label, const QString &value);

#endif // REGISTRATIONREPORT_H
