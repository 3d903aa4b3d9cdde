#pragma once

#include <QString>

#include <functional>

namespace store {

// The editor fields of the main window, as the template operations read them.
// The window implements this over its controls; tests over plain values.
class TemplateEditor
{
public:
    virtual ~TemplateEditor() = default;

    virtual QString templateName() const = 0;       // Text1
    virtual QString subject() const = 0;            // Text2
    virtual QString attachments() const = 0;        // Text3, paths separated by ";"
    virtual QString cc() const = 0;                 // Text4
    virtual QString to() const = 0;                 // Text5
    virtual QString bcc() const = 0;                // Text10
    virtual bool plainTextSelected() const = 0;     // Option1
    virtual bool htmlSelected() const = 0;          // Option2
    virtual QString htmlLocation() const = 0;       // Text8
    virtual QString body() const = 0;               // Text7, line ends as CR LF

    // Lets the window process its pending events once.
    virtual void yield() = 0;
};

// A template editor over plain values, for code that has no window. Its
// yields are counted, and onYield, when set, runs in each of them with its
// number (1 for the first), as the window's events would.
struct EditorValues final : TemplateEditor
{
    QString name, subjectText, attachmentPaths, ccText, toText, bccText;
    bool plain = true;
    bool html = false;
    QString location, bodyText;
    int yields = 0;
    std::function<void(int)> onYield;

    QString templateName() const override { return name; }
    QString subject() const override { return subjectText; }
    QString attachments() const override { return attachmentPaths; }
    QString cc() const override { return ccText; }
    QString to() const override { return toText; }
    QString bcc() const override { return bccText; }
    bool plainTextSelected() const override { return plain; }
    bool htmlSelected() const override { return html; }
    QString htmlLocation() const override { return location; }
    QString body() const override { return bodyText; }
    void yield() override
    {
        ++yields;
        if (onYield)
            onYield(yields);
    }
};

} // namespace store
