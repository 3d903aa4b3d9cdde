#pragma once

// The stand-ins for other Windows programs, registered for a test and taken
// away again: registry values as a program writes them to register itself,
// and the stand-in Outlook (standins/outlook_standin_win.cpp) as the COM
// server of "Outlook.Application". They change the machine's registry, so
// the tests that use them run only in a throwaway Wine prefix or Windows
// account, which says so with LETTERLOOM_THROWAWAY_WINDOWS=1:
//
//   void initTestCase()
//   {
//       if (!standins::throwawayWindows())
//           QSKIP(standins::notThrowaway);
//       ...
//   }

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <array>

namespace standins {

bool throwawayWindows();
inline constexpr char notThrowaway[] = "this test registers stand-ins for other programs: it runs in a throwaway "
                                       "Wine prefix or Windows only (LETTERLOOM_THROWAWAY_WINDOWS=1)";

// Registry values, each as its key, its name ("Default" for the key's own
// value) and its text.
using Registration = QList<std::array<QString, 3>>;
void writeRegistry(const Registration &values);
void removeFromRegistry(const Registration &values);

// The stand-in Outlook, registered as "Outlook.Application" while this
// lives, and its log of the calls it gets.
class StandInOutlook
{
public:
    explicit StandInOutlook(const QString &program);
    ~StandInOutlook();
    StandInOutlook(const StandInOutlook &) = delete;
    StandInOutlook &operator=(const StandInOutlook &) = delete;

    bool registered() const { return m_registered; }

    // From now on the call named fails with a COM exception ("Add#2" for
    // the second Add; empty: none), and the log starts afresh.
    void failAt(const QString &call) const;
    void clearLog() const;
    // The log's lines so far. The releases are sent when the launch lets go
    // of its objects, so the last one may still be on its way.
    QStringList log() const;

    // A text as the log writes it: quoted, with backslash, quote, CR, LF
    // and TAB escaped.
    static QString quoted(QString text);

private:
    QString m_program;
    QTemporaryDir m_folder;
    QString m_log;
    bool m_registered = false;
};

} // namespace standins
