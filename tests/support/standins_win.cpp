#include "support/standins_win.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>

namespace standins {
namespace {

// Where the stand-in Outlook reads, at every call, what it is to do.
const QString kOutlookKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Letterloom\\Outlook stand-in");

} // namespace

bool throwawayWindows()
{
    return qEnvironmentVariableIsSet("LETTERLOOM_THROWAWAY_WINDOWS");
}

void writeRegistry(const Registration &values)
{
    for (const auto &[key, name, text] : values)
        QSettings(key, QSettings::NativeFormat).setValue(name, text);
}

void removeFromRegistry(const Registration &values)
{
    for (const auto &[key, name, text] : values)
        QSettings(key, QSettings::NativeFormat).remove(name);
}

StandInOutlook::StandInOutlook(const QString &program)
    : m_program(program)
    , m_log(m_folder.filePath(QStringLiteral("outlook.log")))
{
    m_registered = m_folder.isValid() && QProcess::execute(m_program, {QStringLiteral("/RegServer")}) == 0;
    failAt(QString());
}

StandInOutlook::~StandInOutlook()
{
    if (m_registered)
        QProcess::execute(m_program, {QStringLiteral("/UnregServer")});
    QSettings(kOutlookKey, QSettings::NativeFormat).remove(QString());
}

void StandInOutlook::failAt(const QString &call) const
{
    QSettings settings(kOutlookKey, QSettings::NativeFormat);
    settings.setValue(QStringLiteral("Log"), QDir::toNativeSeparators(m_log));
    settings.setValue(QStringLiteral("FailAt"), call);
    settings.sync();
    clearLog();
}

void StandInOutlook::clearLog() const
{
    QFile::remove(m_log);
}

QStringList StandInOutlook::log() const
{
    return QString::fromUtf8(testfiles::contentsOf(m_log)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

QString StandInOutlook::quoted(QString text)
{
    text.replace(u'\\', QLatin1String("\\\\"));
    text.replace(u'"', QLatin1String("\\\""));
    text.replace(u'\r', QLatin1String("\\r"));
    text.replace(u'\n', QLatin1String("\\n"));
    text.replace(u'\t', QLatin1String("\\t"));
    return u'"' + text + u'"';
}

} // namespace standins
