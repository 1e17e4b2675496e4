// The main of every benchmark that has none of its own. The runs and their
// figures are Google Benchmark's, but the exit status says whether the work
// was done: a benchmark that finds its work undone calls SkipWithError, and
// the program then ends with 1, whatever figures the others printed. A run
// that matched no benchmark did no work either.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

// Whether a run ended in SkipWithError. Google Benchmark 1.8 folded the
// error flag of 1.7 into a skip state, in which a skip with a plain message
// is no error; the library's headers carry no version to test.
template <class TRun> bool EndedInError(const TRun& run)
{
    if constexpr (requires { run.error_occurred; })
        return run.error_occurred;
    else
        return run.skipped == decltype(run.skipped)::SkippedWithError;
}

// Passes every report on to the reporter the command line chose
// (--benchmark_format) and notes any run that ended in an error.
class ErrorNotingReporter final : public benchmark::BenchmarkReporter {
public:
    explicit ErrorNotingReporter(benchmark::BenchmarkReporter* pShown)
        : m_pShown(pShown)
    {
    }

    bool ReportContext(const Context& context) override { return m_pShown->ReportContext(context); }
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            m_bFailed = m_bFailed || EndedInError(run);
        m_pShown->ReportRuns(runs);
    }
    void Finalize() override { m_pShown->Finalize(); }

    [[nodiscard]] bool Failed() const { return m_bFailed; }

private:
    // The library hands the default reporter to its caller to delete.
    std::unique_ptr<benchmark::BenchmarkReporter> m_pShown;
    bool m_bFailed = false;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    ErrorNotingReporter reporter(benchmark::CreateDefaultDisplayReporter());
    const size_t matched = benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return matched == 0 || reporter.Failed() ? 1 : 0;
}
