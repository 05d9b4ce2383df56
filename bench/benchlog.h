#ifndef BENCHLOG_H
#define BENCHLOG_H

#include <QtGlobal>

// The program logs every frame it writes and more. During the benchmarks the
// lines are built as usual but counted and dropped, so that the figures do
// not measure a terminal; TAVRON_BENCH_LOG=1 passes them on to Qt's own
// handler (stderr) as in the program.
namespace benchlog {

void install();
qint64 lines();

} // namespace benchlog

#endif // BENCHLOG_H
