#include "compose/handover.h"

#include "compose/htmltext.h"
#include "compose/mimedraft.h"
#include "platform/textfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace compose {
namespace {

// The bodies handed over stay until the mail program has read them; those of
// earlier days are removed.
void removeOldBodies(const QString &dir)
{
    const QDateTime dayAgo = QDateTime::currentDateTime().addDays(-1);
    const QFileInfoList files = QDir(dir).entryInfoList({QStringLiteral("body-*.html")}, QDir::Files);
    for (const QFileInfo &file : files) {
        if (file.lastModified() < dayAgo)
            QFile::remove(file.absoluteFilePath());
    }
}

} // namespace

QString freshFileName(const QString &dir, const QString &stem, const QString &suffix)
{
    const QString base = QStringLiteral("%1-%2-%3")
                             .arg(stem, QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")))
                             .arg(QCoreApplication::applicationPid());
    QString path = QDir(dir).filePath(base + suffix);
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QDir(dir).filePath(QStringLiteral("%1-%2%3").arg(base).arg(n).arg(suffix));
    return path;
}

bool ranWell(const platform::ProgramRun &run)
{
    return run.state == platform::ProgramRun::State::Running
           || (run.state == platform::ProgramRun::State::Exited && run.exitCode == 0);
}

QString runFailure(const QString &name, const platform::ProgramRun &run)
{
    if (run.state == platform::ProgramRun::State::NotStarted)
        //: %1 is a program's name, %2 the reason.
        return QCoreApplication::translate("compose::Handover", "%1 could not be started (%2).")
            .arg(name, run.errorText);
    //: %1 is a program's name, %2 its exit status.
    QString text = QCoreApplication::translate("compose::Handover", "%1 ended with an error (exit status %2) "
                                                                    "instead of showing the message.")
                       .arg(name)
                       .arg(run.exitCode);
    if (!run.errorText.isEmpty())
        //: Follows the sentence about a program that ended with an error: %1 is what it wrote.
        text += QCoreApplication::translate("compose::Handover", " It said: \"%1\"").arg(run.errorText.right(300));
    return text;
}

QString writeOutgoingBody(const QString &handoverDirectory, const QString &html, const QString &programName,
                          QString *error)
{
    const QString dir = QDir(handoverDirectory).filePath(QStringLiteral("Outgoing"));
    if (!QDir().mkpath(dir)) {
        *error = QCoreApplication::translate("compose::Handover",
                                             "The HTML body could not be handed to %1: the folder \"%2\" cannot be "
                                             "made.")
                     .arg(programName, QDir::toNativeSeparators(dir));
        return QString();
    }
    removeOldBodies(dir);
    const QString path = freshFileName(dir, QStringLiteral("body"), QStringLiteral(".html"));
    QString why;
    if (!platform::writeWholeFile(path, html.toUtf8(), &why)) {
        *error = QCoreApplication::translate("compose::Handover", "The HTML body could not be handed to %1. %2")
                     .arg(programName, why);
        return QString(); // the file was not left behind
    }
    return path;
}

QString writeDraft(const Message &message, const QString &handoverDirectory, const QString &reason, QString *error)
{
    const QString dir = QDir(handoverDirectory).filePath(QStringLiteral("Drafts"));
    if (!QDir().mkpath(dir)) {
        //: %1 is why the message went to a draft.
        *error = QCoreApplication::translate("compose::Handover",
                                             "%1 The draft could not be saved: the folder \"%2\" cannot be made.")
                     .arg(reason, QDir::toNativeSeparators(dir));
        return QString();
    }
    const QString path = freshFileName(dir, QStringLiteral("draft"), QStringLiteral(".eml"));
    QString why;
    if (!saveMimeDraft(message, path, &why)) { // which leaves no file behind
        //: %1 is why the message went to a draft, %2 why the draft could not be saved.
        *error = QCoreApplication::translate("compose::Handover",
                                             "%1 The message could not be saved as a draft either. %2")
                     .arg(reason, why);
        return QString();
    }
    return path;
}

DesktopMailSetup completedSetup(const DesktopMailSetup &given)
{
    DesktopMailSetup setup = given;
    if (!setup.desktop)
        setup.desktop = &platform::systemDesktop();
    if (setup.handoverDirectory.isEmpty()) {
        QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (documents.isEmpty())
            documents = QDir::homePath();
        setup.handoverDirectory = QDir(documents).filePath(QStringLiteral("Letterloom"));
    }
    if (setup.home.isEmpty())
        setup.home = QDir::homePath();
    return setup;
}

bool HandingOverItem::display()
{
    QString reason;
    const std::optional<bool> handed = handOver(&reason);
    if (handed)
        return *handed;
    const QString path = writeDraft(m_message, m_setup.handoverDirectory, reason, &m_error);
    if (path.isEmpty())
        return false;
    m_notice = openDraft(path, reason);
    return true;
}

std::optional<bool> HandingOverItem::start(const MailProgram &program, const Message &message, QString *reason)
{
    QString htmlFile;
    if (message.isHtml()) {
        htmlFile = writeOutgoingBody(m_setup.handoverDirectory, withPicturesInside(message.body), program.name,
                                     &m_error);
        if (htmlFile.isEmpty())
            return false;
    }
    const QStringList command = program.command(clientArguments(program.kind, message, htmlFile));
    std::optional<bool> result;
    if (!program.fits(command)) {
        *reason = QCoreApplication::translate("compose::Handover", "The message is too long to be handed to %1 "
                                                                   "directly.")
                      .arg(program.name);
    } else {
        const platform::ProgramRun run = desktop().run(command.first(), command.mid(1), m_setup.watchMs);
        if (ranWell(run))
            result = true;
        else
            *reason = runFailure(program.name, run);
    }
    if (!result && !htmlFile.isEmpty())
        QFile::remove(htmlFile);
    return result;
}

std::optional<HtmlFallback> HandingOverItem::htmlFallback(const QString &programName)
{
    if (m_setup.htmlFallback != HtmlFallback::Ask)
        return m_setup.htmlFallback;
    if (!m_setup.askHtmlFallback) // no one to ask: the draft keeps everything
        return HtmlFallback::Draft;
    const std::optional<HtmlFallback> answer = m_setup.askHtmlFallback(programName);
    if (!answer || *answer == HtmlFallback::Ask)
        m_cancelled = true;
    return m_cancelled ? std::nullopt : answer;
}

std::unique_ptr<MailItem> HandingOverClient::createItem(int itemType)
{
    if (itemType != 0) {
        m_error = QCoreApplication::translate("compose::Handover", "Only mail items (type 0) can be made.");
        return nullptr;
    }
    return m_newItem();
}

} // namespace compose
