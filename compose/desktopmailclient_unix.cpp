// The desktop mail client on Linux and other Unix desktops: Thunderbird when
// it is the default mail program or is installed, as it is the one client
// there whose command line carries CC, BCC, HTML bodies and attachments
// together; otherwise, or when it cannot be started, an unsent MIME draft
// that is opened with the desktop's default program for e-mail files.

#include "compose/compose.h"
#include "compose/message.h"
#include "compose/mimedraft.h"
#include "compose/thunderbird.h"
#include "platform/appdir.h"
#include "platform/process.h"
#include "platform/shellopen.h"
#include "platform/textfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>

namespace compose {
namespace {

// Linux refuses any one argument longer than 128 KiB.
constexpr qsizetype LongestArgument = 120 * 1024;

QString folder(const QString &name)
{
    return platform::joinPath(platform::applicationDirectory(), name);
}

// A file name in dir that is not taken yet: stem, the time, suffix.
QString freshFileName(const QString &dir, const QString &stem, const QString &suffix)
{
    const QString base =
        QStringLiteral("%1-%2").arg(stem, QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")));
    QString path = platform::joinPath(dir, base + suffix);
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = platform::joinPath(dir, QStringLiteral("%1-%2%3").arg(base).arg(n).arg(suffix));
    return path;
}

// The HTML bodies handed to Thunderbird stay until it has read them; those
// of earlier days are removed.
void removeOldBodies(const QString &dir)
{
    const QDateTime dayAgo = QDateTime::currentDateTime().addDays(-1);
    const QFileInfoList files = QDir(dir).entryInfoList({QStringLiteral("body-*.html")}, QDir::Files);
    for (const QFileInfo &file : files) {
        if (file.lastModified() < dayAgo)
            QFile::remove(file.absoluteFilePath());
    }
}

class DesktopMailItem final : public CollectingMailItem
{
public:
    bool display() override
    {
        const QStringList thunderbird = thunderbirdCommand();
        if (thunderbird.isEmpty())
            return saveDraft(QStringLiteral("No mail client was found (Thunderbird is not installed)."));
        QString reason;
        if (openInThunderbird(thunderbird, &reason))
            return true;
        return saveDraft(reason);
    }

private:
    // The desktop's default mail program when it is Thunderbird (however it
    // was installed), else the Thunderbird on the search path; empty when
    // there is none. The program comes first, then its own arguments.
    static QStringList thunderbirdCommand()
    {
        QString id;
        const QStringList handler = platform::defaultApplicationCommand(QStringLiteral("x-scheme-handler/mailto"), &id);
        if (!handler.isEmpty() && id.contains(QLatin1String("thunderbird"), Qt::CaseInsensitive))
            return handler;
        const QString installed = platform::findInstalledProgram(QStringLiteral("thunderbird"));
        return installed.isEmpty() ? QStringList() : QStringList{installed};
    }

    bool openInThunderbird(const QStringList &command, QString *reason)
    {
        QString bodyFile;
        if (m_message.isHtml()) {
            const QString dir = folder(QStringLiteral("Outgoing"));
            QDir().mkpath(dir);
            removeOldBodies(dir);
            bodyFile = freshFileName(dir, QStringLiteral("body"), QStringLiteral(".html"));
            QSaveFile file(bodyFile);
            const QByteArray utf8 = m_message.body.toUtf8();
            if (!file.open(QIODevice::WriteOnly) || file.write(utf8) != utf8.size() || !file.commit()) {
                *reason = QStringLiteral("The HTML body could not be handed to Thunderbird (%1).").arg(file.errorString());
                return false;
            }
        }
        const QString argument = thunderbirdComposeArgument(m_message, bodyFile);
        bool started = false;
        if (argument.size() > LongestArgument)
            *reason = QStringLiteral("The message is too long to be handed to Thunderbird directly.");
        else
            started = platform::startDetachedProgram(command.first(),
                                                     command.mid(1) + QStringList{QStringLiteral("-compose"), argument},
                                                     reason);
        if (!started && !bodyFile.isEmpty())
            QFile::remove(bodyFile);
        return started;
    }

    bool saveDraft(const QString &reason)
    {
        const QString dir = folder(QStringLiteral("Drafts"));
        if (!QDir().mkpath(dir)) {
            m_error = QStringLiteral("%1 The draft could not be saved: the folder \"%2\" cannot be made.")
                          .arg(reason, QDir::toNativeSeparators(dir));
            return false;
        }
        const QString path = freshFileName(dir, QStringLiteral("draft"), QStringLiteral(".eml"));
        QString why;
        if (!saveMimeDraft(m_message, path, &why)) {
            m_error = reason + u' ' + why;
            return false;
        }
        const QString shown = QDir::toNativeSeparators(path);
        if (platform::openWithDefaultHandler(QUrl::fromLocalFile(path)))
            m_notice = QStringLiteral("%1 The message was saved as a draft in \"%2\" and opened with the "
                                      "program for e-mail files.")
                           .arg(reason, shown);
        else
            m_notice = QStringLiteral("%1 The message was saved as a draft in \"%2\": open it with your mail "
                                      "client to review and send it.")
                           .arg(reason, shown);
        return true;
    }
};

class DesktopMailClient final : public MailClient
{
public:
    std::unique_ptr<MailItem> createItem(int itemType) override
    {
        if (itemType != 0) {
            m_error = QStringLiteral("Only mail items (type 0) can be made.");
            return nullptr;
        }
        return std::make_unique<DesktopMailItem>();
    }
    QString errorString() const override { return m_error; }

private:
    QString m_error;
};

} // namespace

std::unique_ptr<MailClient> createDesktopMailClient(QString *)
{
    return std::make_unique<DesktopMailClient>();
}

} // namespace compose
