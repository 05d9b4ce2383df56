// The benchmark program: hot paths and whole storage sessions against the
// emulated adapter. Google Benchmark's options apply (--benchmark_filter=...);
// after the runs the per-session figures are printed.

#include "benchfixtures.h"
#include "benchlog.h"
#include "sessionfigures.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    // The MGM erase runs through the registration form, which needs a
    // widget application; no display is used.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchlog::install();

    // A record that fails its own checks would measure a registration the
    // program never makes.
    QString errors;
    if (!benchfixtures::fullRecord().validate(errors)) {
        std::fprintf(stderr, "The benchmark's registration record fails its checks:\n%s\n",
            errors.toUtf8().constData());
        return 1;
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sessionfigures::printSummary(stdout);
    return 0;
}
