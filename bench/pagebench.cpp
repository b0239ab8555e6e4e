// quorvane-pagebench: our page parsers beside the HTML libraries people reach for, on the same
// bytes in one process, with a memchr('<') loop as the floor of any tag walk.

#include "bench/pagegen.h"
#include "bench/peers.h"
#include "fetch/pageparsers.h"
#include "fetch/pagetext.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>

#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

using namespace Quorvane;

namespace {

enum class PageKind { Result, Keyword };

struct Input
{
    QString name;
    QByteArray bytes;
    PageKind kind;
    bool hostile = false;
};

struct Settings
{
    int warmups = 2;
    int runs = 30;
    int minRuns = 5;
    // Per (input, contender): slow cases get fewer runs, never fewer than minRuns, and a case
    // still running after timeoutMs is stopped and reported without figures.
    double budgetMs = 15000;
    double timeoutMs = 30000;
    bool wallClock = false;
    bool quick = false; // fewer runs are the point: no note for each
    PageKind hostileParser = PageKind::Result;
    QStringList contenders;
    QRegularExpression inputFilter;
    bool extraInputs = false;
};

// Defeats dead-code elimination of the timed work.
volatile quint64 g_sink = 0;

const QStringList AllContenders = {"quorvane", "gumbo", "libxml2", "myhtml", "memchr"};

struct HostileSize
{
    const char *label;
    qsizetype bytes;
};
const HostileSize HostileSizes[] = {{"512K", 512 * 1024}, {"1M", 1024 * 1024}, {"2M", 2048 * 1024}};

QString hostileName(HostileFamily family, const char *size)
{
    return QStringLiteral("hostile-%1-%2").arg(hostileFamilyName(family), QLatin1String(size));
}

std::vector<Input> buildInputs(const Settings &settings)
{
    std::vector<Input> all;
    auto wanted = [&](const QString &name) {
        return settings.inputFilter.match(name).hasMatch();
    };
    if (wanted("realistic-result"))
        all.push_back({"realistic-result", realisticResultPage(), PageKind::Result});
    if (wanted("keyword-100"))
        all.push_back({"keyword-100", keywordDatabasePage(100), PageKind::Keyword});
    for (HostileFamily family : allHostileFamilies()) {
        for (const HostileSize &size : HostileSizes) {
            const QString name = hostileName(family, size.label);
            if (wanted(name))
                all.push_back(
                    {name, hostilePage(family, size.bytes), settings.hostileParser, true});
        }
    }
    if (settings.extraInputs && wanted("nested-tables-1M"))
        all.push_back({"nested-tables-1M", nestedTablesPage(), PageKind::Result, true});
    return all;
}

// Exactly what the page fetcher does with a finished page.
struct OurParse
{
    bool stopRequested = false;
    StatusSink noStatus = [](const QString &) {
    };

    SuggestionTable run(const Input &input) const
    {
        const QString html = pageText(input.bytes);
        SuggestionTable table;
        if (input.kind == PageKind::Keyword)
            parseKeyword(html, u"0", table, stopRequested, noStatus);
        else
            parseGoogleResults(html, u"0", table, stopRequested, noStatus);
        return table;
    }
};

struct Contenders
{
    OurParse ours;
    PageTextCollector text;
    MyhtmlFinder myhtml;

    quint64 digest(const PeerFindings &found)
    {
        return quint64(found.count) | quint64(found.sponsored) << 1 | quint64(found.link) << 2;
    }

    quint64 run(const QString &contender, const Input &input)
    {
        if (contender == QLatin1String("quorvane")) {
            const SuggestionTable table = ours.run(input);
            return quint64(table.suggestionCount) + quint64(table.entries[0].results.size())
                + quint64(table.entries[0].hasAds);
        }
        if (contender == QLatin1String("gumbo"))
            return digest(gumboFind(input.bytes, text));
        if (contender == QLatin1String("libxml2"))
            return digest(libxml2Find(input.bytes, text));
        if (contender == QLatin1String("myhtml"))
            return digest(myhtml.find(input.bytes, text));
        return countTagStarts(input.bytes);
    }
};

double nowMs(bool wallClock)
{
    if (wallClock) {
        return std::chrono::duration<double, std::milli>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The thread's CPU time by default: the machine may be shared, and time spent waiting for the
// processor is not the parser's.
double millisecondsOf(const std::function<void()> &work, bool wallClock)
{
    const double start = nowMs(wallClock);
    work();
    return nowMs(wallClock) - start;
}

struct Measurement
{
    double medianMs = 0;
    int runs = 0;
};

Measurement measure(const std::function<void()> &work, const Settings &settings)
{
    double warm = 0;
    for (int i = 0; i < settings.warmups; ++i)
        warm = millisecondsOf(work, settings.wallClock);
    int runs = settings.runs;
    if (warm > 0 && warm * runs > settings.budgetMs)
        runs = std::max(settings.minRuns, int(settings.budgetMs / warm));
    std::vector<double> times;
    times.reserve(size_t(runs));
    for (int i = 0; i < runs; ++i)
        times.push_back(millisecondsOf(work, settings.wallClock));
    std::sort(times.begin(), times.end());
    const size_t mid = times.size() / 2;
    const double median = times.size() % 2 ? times[mid] : (times[mid - 1] + times[mid]) / 2;
    return {median, runs};
}

// Runs the measurement in a child process, so that a contender that turns quadratic on a page
// can be stopped instead of holding up the whole benchmark.
std::optional<Measurement> measureIsolated(const std::function<void()> &work,
                                           const Settings &settings)
{
    int channel[2];
    if (pipe(channel) != 0)
        return measure(work, settings);
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child < 0) {
        close(channel[0]);
        close(channel[1]);
        return measure(work, settings);
    }
    if (child == 0) {
        close(channel[0]);
        const Measurement m = measure(work, settings);
        const bool sent = write(channel[1], &m, sizeof m) == ssize_t(sizeof m);
        _exit(sent ? 0 : 1);
    }
    close(channel[1]);
    pollfd wait {channel[0], POLLIN, 0};
    const int ready = poll(&wait, 1, int(settings.timeoutMs));
    Measurement m;
    const bool received = ready > 0 && read(channel[0], &m, sizeof m) == ssize_t(sizeof m);
    close(channel[0]);
    if (!received)
        kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    if (!received)
        return std::nullopt;
    return m;
}

double megabytesPerSecond(qsizetype bytes, double ms)
{
    return ms > 0 ? double(bytes) / 1e6 / (ms / 1e3) : 0;
}

// Warns when a contender does not do the job on the pages whose answer is known, so that a
// broken contender cannot pass for a fast one.
void checkContenders(Contenders &contenders, const std::vector<Input> &inputs,
                     const QStringList &names)
{
    for (const Input &input : inputs) {
        if (input.name == QLatin1String("realistic-result")) {
            if (names.contains("quorvane")) {
                const SuggestionTable table = contenders.ours.run(input);
                if (table.entries[0].results != realisticResultCount() || !table.entries[0].hasAds)
                    std::fprintf(stderr,
                                 "warning: quorvane read results \"%s\" and ads %d from "
                                 "realistic-result (expected \"%s\" and ads)\n",
                                 qPrintable(table.entries[0].results), int(table.entries[0].hasAds),
                                 qPrintable(realisticResultCount()));
            }
            for (const QString peer : {"gumbo", "libxml2", "myhtml"}) {
                if (!names.contains(peer))
                    continue;
                const quint64 found = contenders.run(peer, input);
                if (found != 7)
                    std::fprintf(stderr,
                                 "warning: %s missed the count phrase or the sponsored-link "
                                 "words in realistic-result (found mask %llu)\n",
                                 qPrintable(peer), static_cast<unsigned long long>(found));
            }
        } else if (input.name == QLatin1String("keyword-100") && names.contains("quorvane")) {
            const SuggestionTable table = contenders.ours.run(input);
            if (table.suggestionCount != 100)
                std::fprintf(stderr, "warning: quorvane took %d rows from keyword-100\n",
                             int(table.suggestionCount));
        }
    }
}

struct Result
{
    qsizetype bytes = 0;
    double medianMs = 0;
    double mbps = 0;
};

QString goal(bool met)
{
    return met ? QStringLiteral("met") : QStringLiteral("NOT met");
}

QString ratiosLine(const std::map<std::pair<QString, QString>, Result> &results)
{
    auto find = [&](const QString &input, const QString &contender) -> std::optional<Result> {
        const auto it = results.find({input, contender});
        if (it == results.end())
            return std::nullopt;
        return it->second;
    };
    QStringList parts;
    const auto ours = find("realistic-result", "quorvane");
    if (ours) {
        parts << QStringLiteral("realistic-result quorvane %1 MB/s (goal >= 1000: %2)")
                     .arg(ours->mbps, 0, 'f', 0)
                     .arg(goal(ours->mbps >= 1000));
        if (const auto floor = find("realistic-result", "memchr")) {
            const double share = ours->mbps / floor->mbps;
            parts << QStringLiteral("quorvane/memchr %1 (goal >= 0.40: %2)")
                         .arg(share, 0, 'f', 2)
                         .arg(goal(share >= 0.40));
        }
        std::optional<std::pair<QString, Result>> fastest;
        for (const QString peer : {"gumbo", "libxml2", "myhtml"}) {
            const auto r = find("realistic-result", peer);
            if (r && (!fastest || r->medianMs < fastest->second.medianMs))
                fastest = std::make_pair(peer, *r);
        }
        if (fastest) {
            const double speedup = fastest->second.medianMs / ours->medianMs;
            parts << QStringLiteral("fastest peer %1, quorvane %2x faster (goal >= 3: %3)")
                         .arg(fastest->first)
                         .arg(speedup, 0, 'f', 1)
                         .arg(goal(speedup >= 3));
        }
    }
    QStringList growth;
    bool allLinear = true;
    std::optional<std::pair<QString, Result>> slowest;
    for (HostileFamily family : allHostileFamilies()) {
        const auto one = find(hostileName(family, "1M"), "quorvane");
        const auto two = find(hostileName(family, "2M"), "quorvane");
        if (one && two) {
            const double ratio = two->medianMs / one->medianMs;
            allLinear = allLinear && ratio <= 2.3;
            growth << QStringLiteral("%1 %2").arg(hostileFamilyName(family)).arg(ratio, 0, 'f', 2);
        }
        for (const HostileSize &size : HostileSizes) {
            const QString name = hostileName(family, size.label);
            const auto r = find(name, "quorvane");
            if (r && (!slowest || r->mbps < slowest->second.mbps))
                slowest = std::make_pair(name, *r);
        }
    }
    if (!growth.isEmpty())
        parts << QStringLiteral("hostile 2M/1M time: %1 (goal <= 2.3: %2)")
                     .arg(growth.join(' '), goal(allLinear));
    if (slowest)
        parts << QStringLiteral("slowest hostile %1 %2 MB/s (goal >= 100: %3)")
                     .arg(slowest->first)
                     .arg(slowest->second.mbps, 0, 'f', 0)
                     .arg(goal(slowest->second.mbps >= 100));
    return QStringLiteral("ratios: ")
        + (parts.isEmpty() ? QStringLiteral("n/a") : parts.join("; "));
}

int runBenchmark(const Settings &settings)
{
    std::fprintf(stderr, "generating pages ...\n");
    const std::vector<Input> inputs = buildInputs(settings);
    Contenders contenders;
    checkContenders(contenders, inputs, settings.contenders);

    std::map<std::pair<QString, QString>, Result> results;
    // (family, contender) pairs that ran out of time: larger pages of the family are skipped.
    std::set<std::pair<QString, QString>> outOfTime;
    for (const Input &input : inputs) {
        const QString family = input.hostile ? input.name.section('-', 1, 1) : input.name;
        for (const QString &contender : settings.contenders) {
            std::optional<Measurement> measured;
            if (!outOfTime.count({family, contender})) {
                measured = measureIsolated(
                    [&] { g_sink = g_sink + contenders.run(contender, input); }, settings);
            }
            if (!measured) {
                outOfTime.insert({family, contender});
                std::printf("{\"input\": \"%s\", \"contender\": \"%s\", \"bytes\": %lld, "
                            "\"median_ms\": null, \"MB_per_s\": null}\n",
                            qPrintable(input.name), qPrintable(contender),
                            static_cast<long long>(input.bytes.size()));
                std::fflush(stdout);
                std::fprintf(stderr, "note: %s on %s: not measured, one case takes over %.0f s\n",
                             qPrintable(contender), qPrintable(input.name),
                             settings.timeoutMs / 1e3);
                continue;
            }
            const Measurement m = *measured;
            const double mbps = megabytesPerSecond(input.bytes.size(), m.medianMs);
            results[{input.name, contender}] = {input.bytes.size(), m.medianMs, mbps};
            std::printf("{\"input\": \"%s\", \"contender\": \"%s\", \"bytes\": %lld, "
                        "\"median_ms\": %.4f, \"MB_per_s\": %.1f}\n",
                        qPrintable(input.name), qPrintable(contender),
                        static_cast<long long>(input.bytes.size()), m.medianMs, mbps);
            std::fflush(stdout);
            if (m.runs < settings.runs && !settings.quick)
                std::fprintf(stderr, "note: %s on %s: median of %d runs (time budget)\n",
                             qPrintable(contender), qPrintable(input.name), m.runs);
        }
    }
    std::printf("%s\n", qPrintable(ratiosLine(results)));
    return 0;
}

// Parses one input once, for a heap profiler; with `baseline` only makes the page text, so that
// the difference of the two peaks is what the parser itself holds. The text is made in one
// allocation (the pages are ASCII): the page fetcher's conversion briefly holds two copies, a
// peak the parser's own would hide behind.
int runHeapProbe(const Settings &settings, const QString &name, bool baseline)
{
    Settings only = settings;
    only.inputFilter =
        QRegularExpression(QStringLiteral("^%1$").arg(QRegularExpression::escape(name)));
    only.extraInputs = true;
    const std::vector<Input> inputs = buildInputs(only);
    if (inputs.empty()) {
        std::fprintf(stderr, "quorvane-pagebench: no input named %s\n", qPrintable(name));
        return 2;
    }
    const Input &input = inputs.front();
    const QString html = QString::fromLatin1(input.bytes);
    if (!baseline) {
        const OurParse ours;
        SuggestionTable table;
        if (input.kind == PageKind::Keyword)
            parseKeyword(html, u"0", table, ours.stopRequested, ours.noStatus);
        else
            parseGoogleResults(html, u"0", table, ours.stopRequested, ours.noStatus);
        g_sink = g_sink + quint64(table.suggestionCount);
    }
    std::printf("%s %lld bytes %s\n", qPrintable(input.name),
                static_cast<long long>(input.bytes.size()), baseline ? "baseline" : "parsed");
    return 0;
}

bool pinToOneCpu(int requested)
{
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0)
        return false;
    int cpu = requested;
    if (cpu < 0) {
        for (int i = 0; i < CPU_SETSIZE; ++i) {
            if (CPU_ISSET(i, &allowed)) {
                cpu = i;
                break;
            }
        }
    }
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    if (sched_setaffinity(0, sizeof one, &one) != 0)
        return false;
    std::fprintf(stderr, "pinned to CPU %d\n", cpu);
    return true;
}

// The peers' tree teardown recurses once per nesting level, deeper than a default stack.
int onLargeStack(const std::function<int()> &work)
{
    struct Call
    {
        const std::function<int()> *work;
        int status;
    } call {&work, 1};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, size_t(512) << 20);
    pthread_t thread;
    const int failed = pthread_create(
        &thread, &attributes,
        [](void *arg) -> void * {
            auto *c = static_cast<Call *>(arg);
            c->status = (*c->work)();
            return nullptr;
        },
        &call);
    pthread_attr_destroy(&attributes);
    if (failed)
        return work();
    pthread_join(thread, nullptr);
    return call.status;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Times the page parsers beside gumbo, libxml2, myhtml and a memchr loop. One JSON "
        "object per (input, contender), then a line of ratios.");
    parser.addHelpOption();
    const QCommandLineOption quick("quick", "Fewer repetitions: a check in under a minute.");
    const QCommandLineOption runs("runs", "Timed runs per case (default 30).", "N");
    const QCommandLineOption only("only", "Comma-separated contenders to run.", "NAMES");
    const QCommandLineOption input("input", "Only inputs whose name matches this expression.",
                                   "REGEX");
    const QCommandLineOption hostileParser(
        "hostile-parser", "Our parser to time on hostile pages: results (default) or keyword.",
        "PARSER");
    const QCommandLineOption extra("extra", "Also time nested-tables-1M (30,000 nested tables).");
    const QCommandLineOption wall("wall",
                                  "Time by the wall clock instead of the thread's CPU time.");
    const QCommandLineOption cpu("cpu", "Pin to this CPU (default: the first one allowed).", "N");
    const QCommandLineOption heap("heap", "Parse the named input once with our parser and exit.",
                                  "INPUT");
    const QCommandLineOption heapBaseline("heap-baseline",
                                          "With --heap: only make the page text, do not parse.");
    parser.addOptions(
        {quick, runs, only, input, hostileParser, extra, wall, cpu, heap, heapBaseline});
    parser.process(app);

    Settings settings;
    if (parser.isSet(quick)) {
        settings.quick = true;
        settings.warmups = 1;
        settings.runs = 5;
        settings.minRuns = 1;
        settings.budgetMs = 400;
        settings.timeoutMs = 3000;
    }
    settings.wallClock = parser.isSet(wall);
    if (parser.isSet(runs))
        settings.runs = std::max(1, parser.value(runs).toInt());
    settings.minRuns = std::min(settings.minRuns, settings.runs);
    settings.contenders = AllContenders;
    if (parser.isSet(only)) {
        settings.contenders = parser.value(only).split(',', Qt::SkipEmptyParts);
        for (const QString &name : std::as_const(settings.contenders)) {
            if (!AllContenders.contains(name)) {
                std::fprintf(stderr, "quorvane-pagebench: unknown contender %s (one of %s)\n",
                             qPrintable(name), qPrintable(AllContenders.join(", ")));
                return 2;
            }
        }
    }
    settings.inputFilter = QRegularExpression(parser.isSet(input) ? parser.value(input) : ".");
    if (!settings.inputFilter.isValid()) {
        std::fprintf(stderr, "quorvane-pagebench: bad --input expression\n");
        return 2;
    }
    if (parser.isSet(hostileParser)) {
        const QString which = parser.value(hostileParser);
        if (which != QLatin1String("results") && which != QLatin1String("keyword")) {
            std::fprintf(stderr, "quorvane-pagebench: --hostile-parser is results or keyword\n");
            return 2;
        }
        settings.hostileParser =
            which == QLatin1String("keyword") ? PageKind::Keyword : PageKind::Result;
    }
    settings.extraInputs = parser.isSet(extra);

    if (parser.isSet(heap)) {
        return onLargeStack(
            [&] { return runHeapProbe(settings, parser.value(heap), parser.isSet(heapBaseline)); });
    }

    if (!pinToOneCpu(parser.isSet(cpu) ? parser.value(cpu).toInt() : -1))
        std::fprintf(stderr, "warning: could not pin to one CPU; run under taskset -c 0\n");
    return onLargeStack([&] { return runBenchmark(settings); });
}
