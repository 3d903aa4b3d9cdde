#include "app/commandline.h"

#include "app/answers.h"
#include "app/appinfo.h"
#include "app/console.h"
#include "app/form1.h"
#include "app/widgetdialogs.h"
#include "compose/compose.h"
#include "compose/tablelaunch.h"
#include "platform/appdir.h"
#include "platform/desktop.h"
#include "store/names.h"
#include "store/templaterecord.h"
#include "store/templatesearch.h"
#include "store/templatestore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <array>
#include <cstring>
#include <numeric>

namespace commandline {
namespace {

QString usageText()
{
    //: The command line's help: the options, their values in capitals and the program's name stay as they are.
    return QCoreApplication::translate(
        "commandline",
        "Usage: letterloom [--data-folder PATH]\n"
        "       letterloom [--data-folder PATH] --list [--match TEXT]\n"
        "       letterloom [--data-folder PATH] --launch NAME [--value QUESTION=ANSWER]... [--no-ask]\n"
        "                  [--plain-text | --draft]\n"
        "       letterloom [--data-folder PATH] --launch NAME --values-from FILE.csv [--drafts-only] [--yes]\n"
        "                  [--no-ask] [--plain-text | --draft]\n"
        "       letterloom --help | --version\n"
        "\n"
        "Without --list or --launch the window opens.\n"
        "\n"
        "  --list              Prints the names of the stored templates, one a line.\n"
        "  --match TEXT        Lists only the templates that hold each word of TEXT in their\n"
        "                      name, subject, addresses or plain body (letter case and accents\n"
        "                      aside), those whose name holds them first.\n"
        "  --launch NAME       Opens the template NAME as a new, unsent message in the mail\n"
        "                      program, without the window. A name stored several times\n"
        "                      launches the one saved last.\n"
        "  --value Q=A         Answers the template's question {{?Q}} with A. Questions left\n"
        "                      unanswered are asked in a dialog.\n"
        "  --no-ask            Shows no dialog: an unanswered question, or an HTML message for\n"
        "                      a mail program that cannot take HTML, is an error.\n"
        "  --values-from FILE  Launches the template once for each row of the CSV file FILE,\n"
        "                      whose first row names the questions, after asking whether to open\n"
        "                      that many messages (at most 200).\n"
        "  --drafts-only       With --values-from: saves each message as a draft, opens none.\n"
        "  --yes               With --values-from: opens the messages without asking.\n"
        "  --plain-text        A mail program that cannot take HTML gets the message as plain text.\n"
        "  --draft             A mail program that cannot take HTML gets it as an HTML draft.\n"
#ifdef Q_OS_WIN
        "  --data-folder PATH  The folder of the templates (default: the registry value folder\n"
        "                      of HKEY_CURRENT_USER\\Software\\Letterloom\\Letterloom\\data, else\n"
        "                      the program's folder).\n"
#else
        "  --data-folder PATH  The folder of the templates (default: the setting folder= in the\n"
        "                      section [data] of the settings, else the user's data folder).\n"
#endif
        "  --help              Shows this text.\n"
        "  --version           Shows the version.\n"
        "\n"
        "Exit status: 0 listed, or the mail program took the message; 1 the launch failed;\n"
        "2 wrong options; 3 no such template or data folder; 4 a question or choice left\n"
        "unanswered.");
}

int fail(int status, const QString &message)
{
    QString line = message;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    line.replace(u'\n', u' ');
    line.replace(u'\r', u' ');
    console::writeError(QStringLiteral("letterloom: ") + line);
    return status;
}

// The template list's entries in data-file order.
struct Entries final : store::TemplateList
{
    QStringList entries;
    void addEntry(const QString &entry) override { entries << entry; }
    void yield() override {}
};

// The find/replace pairs as the settings store keeps them.
struct StoredPairs final : substitute::PairBoxes
{
    std::array<QString, Form1::PairCount> finds, replacements;
    int count() const override { return Form1::PairCount; }
    QString findText(int index) const override { return finds.at(std::size_t(index)); }
    QString replaceText(int index) const override { return replacements.at(std::size_t(index)); }
    void setFindText(int index, const QString &text) override { finds.at(std::size_t(index)) = text; }
    void setReplaceText(int index, const QString &text) override { replacements.at(std::size_t(index)) = text; }
    void yield() override {}
};

QString folderShown(const QString &folder)
{
    return QDir::toNativeSeparators(folder.isEmpty() ? platform::applicationDirectory() : folder);
}

// The templates as the data file holds them now; a change that another copy
// left unfinished is not finished here (reading changes nothing), but told.
std::optional<QStringList> storedEntries(store::TemplateStore &templates, QString *error)
{
    Entries list;
    if (!store::LoadTemplateList(templates, list, error))
        return std::nullopt;
    return list.entries;
}

// The templates that hold the words of text, in the picker's order.
QList<int> matchingTemplates(store::TemplateStore &templates, const QList<store::ShownTemplate> &shown,
                             const QString &text)
{
    const QStringList words = store::SearchWords(text);
    QList<store::SearchMatch> matches;
    for (const store::ShownTemplate &t : shown) {
        matches << store::MatchTemplate(words, {t.name, t.subject, t.to, t.cc, t.bcc,
                                                store::EditorOf(t).plainTextSelected(),
                                                [&templates, &t] { return templates.ReadBody(t.name); }});
    }
    return store::OrderMatches(matches);
}

int listTemplates(const QString &folder, const std::optional<QString> &match)
{
    if (!console::canPrint()) {
        console::writeOutput(QCoreApplication::translate("commandline", "letterloom --list prints the names of the "
                                                                        "templates: run it in a Command Prompt."));
        return Done;
    }
    store::TemplateStore templates(folder);
    if (const QString record = templates.UnfinishedChange(); !record.isEmpty())
        console::writeError(QCoreApplication::translate("commandline", "letterloom: warning: \"%1\" records a change "
                                                                       "that is not finished; the templates are listed "
                                                                       "as they are now (open Letterloom to finish it)")
                                .arg(record));
    QString error;
    const std::optional<QStringList> entries = storedEntries(templates, &error);
    if (!entries)
        return fail(LaunchFailed, error);
    QStringList names;
    if (match) {
        QList<store::ShownTemplate> shown;
        for (const QString &entry : *entries)
            shown << store::DecodeListEntry(entry);
        for (const int i : matchingTemplates(templates, shown, *match))
            names << shown.at(i).name;
    } else {
        for (const QString &entry : *entries)
            names << store::NameOfListEntry(entry);
    }
    QSet<QString> seen;
    QStringList listed;
    for (const QString &name : std::as_const(names)) {
        if (!seen.contains(store::NameKey(name))) {
            seen.insert(store::NameKey(name));
            listed << name;
        }
    }
    console::writeOutputLines(listed);
    return Done;
}

// The desktop, noting whether the launch asked it for anything and whether
// a program was started or a file opened: a message that a mail program is
// to show has been handed over only then (or through the mail program's own
// automation, which asks the desktop for nothing).
struct WatchedDesktop final : platform::Desktop
{
    platform::Desktop &desktop = platform::systemDesktop();
    bool asked = false;
    bool handedOver = false;

    platform::DesktopApplication defaultApplication(const QString &contentType) override
    {
        asked = true;
        return desktop.defaultApplication(contentType);
    }
    QString findExecutable(const QString &name) override
    {
        asked = true;
        return desktop.findExecutable(name);
    }
    platform::ProgramRun run(const QString &program, const QStringList &arguments, int watchMs) override
    {
        asked = true;
        platform::ProgramRun ran = desktop.run(program, arguments, watchMs);
        handedOver = handedOver || ran.state == platform::ProgramRun::State::Running
                     || (ran.state == platform::ProgramRun::State::Exited && ran.exitCode == 0);
        return ran;
    }
    bool openUrl(const QUrl &url) override
    {
        asked = true;
        const bool opened = desktop.openUrl(url);
        handedOver = handedOver || opened;
        return opened;
    }
};

struct LaunchRequest
{
    QString name;
    QMap<QString, QString> answers; // given with --value
    bool ask = true;
    compose::HtmlFallback htmlFallback = compose::HtmlFallback::Ask;
    QString valuesFrom; // --values-from: a table of answers, one message for each row
    bool draftsOnly = false;
    bool confirmed = false; // --yes
};

// The desktop's mail programs as a launch from the shell reaches them: an
// HTML message for a program that cannot take one asks once (a table's rows
// take the first answer), or with --no-ask is refused.
struct ShellMail
{
    WatchedDesktop desktop;
    compose::DesktopMailSetup setup;
    QString unchosenFor; // the mail program for which an HTML choice was needed and not asked
    bool askedAndCancelled = false;
    std::optional<compose::HtmlFallback> chosen;

    explicit ShellMail(const LaunchRequest &request)
    {
        setup.desktop = &desktop;
        setup.htmlFallback = request.htmlFallback;
        setup.askHtmlFallback = [this, ask = request.ask](const QString &programName) {
            if (!ask)
                unchosenFor = programName;
            else if (!chosen && !askedAndCancelled) {
                WidgetDialogs dialogs(nullptr);
                chosen = AskHtmlFallback(dialogs, programName);
                askedAndCancelled = !chosen;
            }
            return ask ? chosen : std::nullopt;
        };
    }

    // The failure when the choice was needed and not made.
    std::optional<int> unchosen() const
    {
        if (!unchosenFor.isEmpty()) {
            //: %1 is a mail program.
            return fail(Unanswered, QCoreApplication::translate("commandline",
                                                                "%1 cannot take an HTML message: give --plain-text "
                                                                "or --draft")
                                        .arg(unchosenFor));
        }
        if (askedAndCancelled)
            return fail(Unanswered, QCoreApplication::translate("commandline", "no choice was made for the HTML "
                                                                               "message; nothing was opened"));
        return std::nullopt;
    }
};

// Prints what the mail program said, one line each.
void printNotices(const QStringList &notices)
{
    for (QString notice : notices) {
        notice.replace(QLatin1String("\r\n"), QLatin1String(" "));
        notice.replace(u'\n', u' ');
        console::writeOutput(notice);
    }
}

// The template in editor launched once for every row of the table that
// request names, after the user confirms it (--yes, or the question).
int launchTable(store::EditorValues &editor, const QString &dataFolder, const LaunchRequest &request)
{
    const substitute::AnswerTable table =
        substitute::ReadAnswerFile(request.valuesFrom, compose::TemplateQuestions(editor, dataFolder));
    if (!table.error.isEmpty())
        return fail(LaunchFailed, table.error);
    ShellMail mail(request);
    const QString question =
        request.draftsOnly ? compose::tableQuestion(table, QString(), compose::draftsFolder(mail.setup))
                           : compose::tableQuestion(table, compose::mailProgramName(mail.setup));
    if (!request.confirmed && (!request.ask || !WidgetDialogs(nullptr).question(question))) {
        //: %1 is the question that --yes answers.
        return fail(Unanswered, QCoreApplication::translate("commandline", "not confirmed, nothing was opened: %1 "
                                                                           "(--yes confirms)")
                                    .arg(question));
    }
    StoredPairs pairs;
    platform::SettingsStore settings;
    substitute::LoadSubstitutionPairs(pairs, settings);
    mail.desktop.asked = false;
    // A draft that nothing opened fails its row, as it fails a launch.
    const compose::RowCheck check = [&mail](const compose::LaunchOutcome &launched) {
        const bool unopened = mail.desktop.asked && !mail.desktop.handedOver;
        mail.desktop.asked = mail.desktop.handedOver = false;
        return unopened ? launched.message : QString();
    };
    const compose::TableOutcome outcome = compose::LaunchEachRow(
        editor, pairs, request.draftsOnly ? compose::draftFiles(mail.setup) : compose::desktopMailClients(mail.setup),
        table, {}, dataFolder, request.draftsOnly, check);
    printNotices(outcome.notices);
    if (const std::optional<int> status = mail.unchosen(); status && outcome.done == 0)
        return *status;
    if (!outcome.failure.isEmpty())
        return fail(LaunchFailed, outcome.failure);
    return Done;
}

int launchTemplate(const QString &folder, const LaunchRequest &request)
{
    // The last line of the name is the template saved last.
    const QString key = store::NameKey(request.name);
    store::TemplateStore templates(folder);
    QString error;
    const std::optional<QStringList> entries = storedEntries(templates, &error);
    if (!entries)
        return fail(LaunchFailed, error);
    std::optional<store::ShownTemplate> found;
    for (const QString &entry : *entries) {
        store::ShownTemplate shown = store::DecodeListEntry(entry);
        if (store::NameKey(shown.name) == key)
            found = std::move(shown);
    }
    if (!found) {
        //: %1 is a template's name, %2 the templates folder.
        return fail(NotFound, QCoreApplication::translate("commandline", "no template named \"%1\" is stored in %2")
                                  .arg(request.name, folderShown(folder)));
    }

    // The template as the window shows it when it is clicked in the list.
    store::ShownTemplate &shown = *found;
    store::CutToLongestBoxText(shown);
    if (templates.UnfinishedChangeTouches(shown.name))
        return fail(LaunchFailed, QCoreApplication::translate("commandline", "a change to this template is "
                                                                             "unfinished; open Letterloom to finish "
                                                                             "it"));
    store::EditorValues editor = store::EditorOf(shown);
    editor.bodyText = templates.ReadBody(shown.name, &error);
    if (!error.isEmpty())
        return fail(LaunchFailed, error);
    if (!request.valuesFrom.isEmpty())
        return launchTable(editor, templates.folder(), request);

    platform::SettingsStore settings;
    substitute::PlaceholderValues values;
    QStringList unanswered;
    for (const QString &question : compose::TemplateQuestions(editor, templates.folder())) {
        const auto given = request.answers.constFind(question);
        if (given != request.answers.constEnd())
            values.answers.insert(question, *given);
        else
            unanswered << question;
    }
    if (!unanswered.isEmpty()) {
        if (!request.ask) {
            QStringList quoted;
            for (const QString &question : unanswered)
                quoted << u'"' + question + u'"';
            //: %1 is a template's name, %2 its questions, each in quotes.
            return fail(Unanswered, QCoreApplication::translate("commandline", "the template \"%1\" asks %2: answer "
                                                                               "with --value QUESTION=ANSWER")
                                        .arg(shown.name, quoted.join(QStringLiteral(", "))));
        }
        const std::optional<QMap<QString, QString>> typed =
            askQuestions(nullptr, shown.name, unanswered, rememberedAnswers(settings, shown.name));
        if (!typed)
            return fail(Unanswered, QCoreApplication::translate("commandline",
                                                                "the questions were not answered; nothing was opened"));
        if (!rememberAnswers(settings, shown.name, *typed, &error))
            fail(LaunchFailed, error);
        for (auto it = typed->begin(); it != typed->end(); ++it)
            values.answers.insert(it.key(), it.value());
    }

    StoredPairs pairs;
    substitute::LoadSubstitutionPairs(pairs, settings);

    ShellMail mail(request);
    const compose::LaunchOutcome outcome =
        compose::ComposeEmail(editor, pairs, compose::desktopMailClients(mail.setup), values, templates.folder());
    if (const std::optional<int> status = mail.unchosen())
        return *status;
    if (!outcome.displayed)
        return fail(LaunchFailed, outcome.message);
    if (mail.desktop.asked && !mail.desktop.handedOver) // a draft that nothing opened
        return fail(LaunchFailed, outcome.message);
    if (!outcome.message.isEmpty())
        printNotices({outcome.message});
    return Done;
}

} // namespace

Needs needsOf(int argc, char *argv[])
{
    // The window and a launch need a display; so do Qt's own options
    // ("-style fusion"), which are the window's. Anything else is listing,
    // help, the version, or wrong, and needs none.
    bool window = true;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if ((std::strcmp(arg, "--launch") == 0 && i + 1 < argc) || std::strncmp(arg, "--launch=", 9) == 0)
            return Needs::Gui;
        if (std::strcmp(arg, "--data-folder") == 0 || std::strcmp(arg, "--value") == 0) {
            window = window && arg[2] == 'd';
            ++i; // its value, whatever it looks like
            continue;
        }
        const bool qtOption = arg[0] == '-' && arg[1] != '-' && std::strcmp(arg, "-h") != 0
                              && std::strcmp(arg, "-v") != 0;
        if (!qtOption && std::strncmp(arg, "--data-folder=", 14) != 0)
            window = false;
    }
    return window ? Needs::Gui : Needs::Console;
}

QString chooseDataFolder(const QString &given)
{
    // The command line first, then the setting a team's copies share
    // ([data] folder=), then the platform's own folder (empty).
    if (!given.isEmpty())
        return given;
    return platform::SettingsStore().get(QStringLiteral("data"), QStringLiteral("folder"), QString()).trimmed();
}

std::optional<int> run(const QStringList &arguments, QString *dataFolder)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption list(QStringLiteral("list"));
    const QCommandLineOption match(QStringLiteral("match"), QString(), QStringLiteral("TEXT"));
    const QCommandLineOption launch(QStringLiteral("launch"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption value(QStringLiteral("value"), QString(), QStringLiteral("QUESTION=ANSWER"));
    const QCommandLineOption noAsk(QStringLiteral("no-ask"));
    const QCommandLineOption plainText(QStringLiteral("plain-text"));
    const QCommandLineOption draft(QStringLiteral("draft"));
    const QCommandLineOption valuesFrom(QStringLiteral("values-from"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption draftsOnly(QStringLiteral("drafts-only"));
    const QCommandLineOption yes(QStringLiteral("yes"));
    const QCommandLineOption folder(QStringLiteral("data-folder"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOptions({list, match, launch, value, noAsk, plainText, draft, valuesFrom, draftsOnly, yes, folder, help,
                       version});
    if (!parser.parse(arguments))
        //: Follows the reason why the command line is wrong.
        return fail(WrongUsage, parser.errorText()
                                    + QCoreApplication::translate("commandline",
                                                                  " (letterloom --help shows the options)"));
    if (!parser.positionalArguments().isEmpty()) {
        return fail(WrongUsage, QCoreApplication::translate("commandline", "unexpected argument \"%1\" (letterloom "
                                                                           "--help shows the options)")
                                    .arg(parser.positionalArguments().constFirst()));
    }
    if (parser.isSet(help)) {
        console::writeOutput(usageText() + QStringLiteral("\n\n")
                             + QCoreApplication::translate("commandline", "The templates folder in use: %1")
                                   .arg(folderShown(chooseDataFolder(parser.value(folder)))));
        return Done;
    }
    if (parser.isSet(version)) {
        console::writeOutput(appinfo::productName());
        return Done;
    }
    for (const QCommandLineOption *once : {&launch, &folder, &match, &valuesFrom}) {
        if (parser.values(*once).size() > 1)
            //: %1 is an option's name.
            return fail(WrongUsage, QCoreApplication::translate("commandline", "--%1 is given more than once")
                                        .arg(once->names().constFirst()));
    }
    if (parser.isSet(list) && parser.isSet(launch))
        return fail(WrongUsage, QCoreApplication::translate("commandline", "--list and --launch cannot go together"));
    if (!parser.isSet(launch)) {
        for (const QCommandLineOption *launchOnly : {&value, &noAsk, &plainText, &draft, &valuesFrom}) {
            if (parser.isSet(*launchOnly)) {
                return fail(WrongUsage,
                            //: %1 is an option's name.
                            QCoreApplication::translate("commandline", "--%1 goes with --launch")
                                .arg(launchOnly->names().constFirst()));
            }
        }
    }
    for (const QCommandLineOption *tableOnly : {&draftsOnly, &yes}) {
        if (parser.isSet(*tableOnly) && !parser.isSet(valuesFrom)) {
            return fail(WrongUsage,
                        //: %1 is an option's name.
                        QCoreApplication::translate("commandline", "--%1 goes with --values-from")
                            .arg(tableOnly->names().constFirst()));
        }
    }
    if (parser.isSet(value) && parser.isSet(valuesFrom))
        return fail(WrongUsage,
                    QCoreApplication::translate("commandline", "--value and --values-from cannot go together"));
    if (parser.isSet(match) && !parser.isSet(list))
        return fail(WrongUsage, QCoreApplication::translate("commandline", "--match goes with --list"));
    if (parser.isSet(plainText) && parser.isSet(draft))
        return fail(WrongUsage,
                    QCoreApplication::translate("commandline", "--plain-text and --draft cannot go together"));

    QString given = parser.value(folder);
    if (parser.isSet(folder)) {
        if (given.isEmpty())
            return fail(WrongUsage, QCoreApplication::translate("commandline", "--data-folder needs a folder"));
        given = QDir::cleanPath(QDir::current().absoluteFilePath(given));
    }
    const QString chosen = chooseDataFolder(given);
    if (!parser.isSet(list) && !parser.isSet(launch)) {
        *dataFolder = chosen;
        return std::nullopt;
    }
    if (!chosen.isEmpty() && !QFileInfo(chosen).isDir())
        return fail(NotFound, QCoreApplication::translate("commandline", "there is no data folder %1")
                                  .arg(QDir::toNativeSeparators(chosen)));
    if (parser.isSet(list))
        return listTemplates(chosen, parser.isSet(match) ? std::optional(parser.value(match)) : std::nullopt);

    LaunchRequest request;
    request.name = parser.value(launch);
    request.ask = !parser.isSet(noAsk);
    request.valuesFrom = parser.value(valuesFrom);
    request.draftsOnly = parser.isSet(draftsOnly);
    request.confirmed = parser.isSet(yes);
    if (parser.isSet(plainText))
        request.htmlFallback = compose::HtmlFallback::PlainText;
    else if (parser.isSet(draft))
        request.htmlFallback = compose::HtmlFallback::Draft;
    for (const QString &pair : parser.values(value)) {
        const qsizetype equals = pair.indexOf(u'=');
        if (equals <= 0) {
            return fail(WrongUsage,
                        QCoreApplication::translate("commandline", "--value \"%1\" is not QUESTION=ANSWER").arg(pair));
        }
        request.answers.insert(pair.first(equals).trimmed(), pair.sliced(equals + 1));
    }
    return launchTemplate(chosen, request);
}

} // namespace commandline
