// Applies eleven find/replace pairs to a text file, the way a launch applies
// them to a body, and prints the best time of several runs.
//
//   bench_pairs <text file> <find0> <replace0> ... <find10> <replace10>
//
// Run through bench/pairs_vs_python.py, which times Python's str.replace on
// the same text and pairs in the same run.
#include "substitute/pairs.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct FixedPairs final : substitute::PairBoxes
{
    std::vector<QString> find, replace;
    int count() const override { return static_cast<int>(find.size()); }
    QString findText(int i) const override { return find.at(static_cast<std::size_t>(i)); }
    QString replaceText(int i) const override { return replace.at(static_cast<std::size_t>(i)); }
    void setFindText(int i, const QString &text) override { find.at(static_cast<std::size_t>(i)) = text; }
    void setReplaceText(int i, const QString &text) override { replace.at(static_cast<std::size_t>(i)) = text; }
    void yield() override { QCoreApplication::processEvents(); }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 24) {
        std::fprintf(stderr, "usage: bench_pairs <text file> <find0> <replace0> ... <find10> <replace10>\n");
        return 2;
    }
    QFile file(args.at(1));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    const QString text = QString::fromUtf8(file.readAll());
    FixedPairs pairs;
    for (int i = 2; i < args.size(); i += 2) {
        pairs.find.push_back(args.at(i));
        pairs.replace.push_back(args.at(i + 1));
    }

    constexpr int kRuns = 7;
    std::vector<double> times;
    QString result;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        result = substitute::ApplySubstitutionPairs(text, pairs);
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    // Python reads these two lines: the best time and a digest of the result.
    std::printf("best_ms %.3f\n", times.front());
    std::printf("result_chars %lld\n", static_cast<long long>(result.size()));
    QFile out(args.at(1) + QStringLiteral(".qt-result"));
    if (out.open(QIODevice::WriteOnly))
        out.write(result.toUtf8());
    return 0;
}
