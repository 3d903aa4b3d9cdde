#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace store {

// What Delete removed, or what Save replaced, kept in the folder "Deleted"
// of the data folder so that Undo Delete can bring it back: the data lines,
// each with the line it stood before, and the body file. Each kept version
// is "Deleted/<id>.record" (the lines, as bytes) and "Deleted/<id>.body"
// (the body file as it was; none when the template had none). The folder
// keeps the newest KeptVersions::Limit of them; older ones are removed.
struct KeptLine
{
    QByteArray line;
    std::optional<QByteArray> before; // the line it stood before; none: it stood last
};

struct KeptVersion
{
    QString id;   // "20261207-101502-123-pc7-4711-1": sortable by the time it was kept
    QString kind; // "delete" or "replace"
    QDateTime when;
    QString user, host;
    QString bodyFileName; // the body file's name when it was removed; empty: none went along
    bool bodyShared = false; // none went along, as other templates of its name kept the body file
    QList<KeptLine> lines;

    QByteArray serialized() const;
    static std::optional<KeptVersion> parse(const QByteArray &bytes, const QString &id);
};

namespace KeptVersions {

constexpr int Limit = 100;

QString folder(const QString &dataDir);
QString recordPath(const QString &dataDir, const QString &id);
QString bodyPath(const QString &dataDir, const QString &id);

// A new id for a version kept now.
QString newId();

// This user's newest kept version that holds a template's line, if any: a
// record without one never hides older ones.
std::optional<KeptVersion> newest(const QString &dataDir, const QString &user);

// The files of the versions beyond the newest Limit - 1 (so that one more
// may be added), oldest first.
QStringList beyondLimit(const QString &dataDir);

} // namespace KeptVersions
} // namespace store
