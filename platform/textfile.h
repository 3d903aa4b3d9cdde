#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringView>

#include <filesystem>

namespace platform {

// Reads a whole file in one piece. On failure returns false and, when asked,
// says why in a sentence that names the file.
bool readWholeFile(const QString &path, QByteArray *contents, QString *error = nullptr);

// Reads a whole Windows-1252 text file; a file that cannot be read gives an
// empty text.
QString readAnsiFile(const QString &path, bool *ok = nullptr);

enum class LineStart {
    AsIs,          // append directly after the file's last byte
    EnsureNewLine, // when the file does not end with CR LF, write CR LF first
};

// Appends text and CR LF to a file, creating it when missing. The bytes go out
// in one write; when that write fails or is cut short, the file is cut back to
// its former length, so no partial line is ever left behind.
bool appendAnsiLine(const QString &path, QStringView text, LineStart start,
                    QString *error = nullptr);

// Finds files in one folder whatever the letter case of their names, so that
// files copied from a system that ignores case ("maindata.txt") are found on
// one that does not. The folder's listing is kept between calls and read
// again only when the folder itself has changed, so a folder of many
// thousand files costs one listing, not one per call.
class FolderIndex
{
public:
    // The path of the entry named fileName in dir: the exact name when it
    // exists, else the entry that matches without regard to case (the first
    // in name order when several do). When none matches, the exact name, so
    // that a new file is created under it.
    QString resolve(const QString &dir, const QString &fileName);

    // Lists dir now, unless the listing kept is still up to date.
    void index(const QString &dir);

    // Tells the index that this program has just created dir/fileName.
    void noteCreated(const QString &dir, const QString &fileName);

private:
    void rescan(const QString &dir);

    QString m_dir;
    std::filesystem::file_time_type m_stamp; // the folder's modification time when it was listed
    QHash<QString, QString> m_byFoldedName;
};

// Joins a directory and a file name with the platform's separator handling.
QString joinPath(const QString &dir, const QString &fileName);

} // namespace platform
