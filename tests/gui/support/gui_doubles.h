#pragma once
// Doubles for the window tests: prompts that record and answer from a
// script, a dialog runner that answers a dialog in place, a device list made
// from given rows, and the optional screenshots.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QDialog>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextEdit>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "capture/device_list.h"
#include "capture/driver_link.h"
#include "document/prompts.h"
#include "gui/dialog_runner.h"
#include "record/driver_device.h"
#include "record/le.h"
#include "record/protocol.h"

namespace vantrel::guitest {

class CScriptedPrompts final : public IPrompts {
public:
    std::vector<std::pair<uint32_t, BoxIcon>> messages;  // id 0 for a free text
    std::vector<FileDialogRequest> fileRequests;
    std::deque<std::optional<std::string>> fileAnswers;  // empty: cancel

    void MessageById(uint32_t id, BoxIcon icon) override { messages.emplace_back(id, icon); }
    void MessageText(std::string_view, BoxIcon icon) override { messages.emplace_back(0, icon); }
    std::vector<std::string> questions;
    std::deque<bool> yesNoAnswers;  // empty: No
    bool AskYesNo(std::string_view text, BoxIcon) override {
        questions.emplace_back(text);
        if (yesNoAnswers.empty()) return false;
        const bool yes = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return yes;
    }
    std::optional<std::string> AskFile(const FileDialogRequest& request) override {
        fileRequests.push_back(request);
        if (fileAnswers.empty()) return std::nullopt;
        auto answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }
};

// Shows the dialog without a modal loop, lets the script work it (tick,
// type, click), and reports how it was closed. A dialog the script leaves
// open counts as cancelled.
class CScriptedDialogRunner final : public IDialogRunner {
public:
    std::function<void(QDialog&)> script;
    int runs = 0;
    bool leftOpen = false;

    int Run(QDialog& dialog) override {
        ++runs;
        dialog.setResult(QDialog::Rejected);
        dialog.show();
        dialog.activateWindow();  // mnemonics and default buttons need the focus
        if (!QTest::qWaitForWindowActive(&dialog)) qWarning("dialog not active");
        if (script) script(dialog);
        leftOpen = dialog.isVisible();
        dialog.hide();
        return dialog.result();
    }
};

struct FakeDevice {
    uint32_t deviceObject = 0;
    std::string name;
    std::string description;
    uint32_t flag = 0;
};

namespace detail {
class CEnumeratingDevice final : public IDriverDevice {
public:
    explicit CEnumeratingDevice(std::vector<FakeDevice> rows) : m_rows(std::move(rows)) {}
    bool DeviceIoControl(uint32_t code, uint8_t* buffer, uint32_t, uint32_t) override {
        namespace pr = protocol;
        if (code != pr::IOCTL_ENUMDEVICES || !buffer) return true;
        std::memset(buffer, 0, pr::kEnumSize);
        if (m_next >= m_rows.size()) {
            le::Put32(buffer + pr::kEnumState, uint32_t(pr::kEnumDone));
            return true;
        }
        const FakeDevice& row = m_rows[m_next++];
        le::Put32(buffer + pr::kEnumDeviceObject, row.deviceObject);
        le::Put32(buffer + pr::kEnumState, 1);
        Copy(buffer + pr::kEnumDescription, pr::kEnumDescriptionSize, row.description);
        Copy(buffer + pr::kEnumObjectName, pr::kEnumObjectNameSize, row.name);
        le::Put32(buffer + pr::kEnumFlag, row.flag);
        return true;
    }

private:
    // The buffer is zeroed first; a text keeps its field's last byte zero.
    static void Copy(uint8_t* field, size_t size, const std::string& text) {
        std::copy_n(text.begin(), std::min(size - 1, text.size()), field);
    }
    std::vector<FakeDevice> m_rows;
    size_t m_next = 0;
};
}  // namespace detail

// A device list holding exactly these rows, in this order, as the driver
// would have reported them.
inline std::unique_ptr<CDeviceList> MakeDeviceList(std::vector<FakeDevice> rows) {
    const DriverOpener opener =
        [rows = std::move(rows)](const std::string&) -> std::unique_ptr<IDriverDevice> {
        return std::make_unique<detail::CEnumeratingDevice>(rows);
    };
    CDriverLink link;
    auto list = std::make_unique<CDeviceList>();
    if (link.OpenDriver(opener)) list->FillDeviceList(link, {});
    return list;
}

// Controls under `root` that neither show a text nor carry an accessible
// name: buttons, lists, tables, edits and text views (object names listed).
inline QStringList UnnamedControls(QWidget& root) {
    QStringList unnamed;
    for (QWidget* widget : root.findChildren<QWidget*>()) {
        const bool control =
            qobject_cast<QAbstractButton*>(widget) || qobject_cast<QAbstractItemView*>(widget) ||
            qobject_cast<QLineEdit*>(widget) || qobject_cast<QPlainTextEdit*>(widget) ||
            qobject_cast<QTextEdit*>(widget);
        if (!control || widget->parentWidget() == nullptr) continue;
        if (qobject_cast<QAbstractItemView*>(widget->parentWidget()))
            continue;  // an editor inside a view
        const auto* button = qobject_cast<QAbstractButton*>(widget);
        if (button && !button->text().isEmpty()) continue;
        if (!widget->accessibleName().isEmpty()) continue;
        unnamed << (widget->objectName().isEmpty()
                        ? QString::fromLatin1(widget->metaObject()->className())
                        : widget->objectName());
    }
    return unnamed;
}

// With VANTREL_SHOT_DIR set, writes the widget as <dir>/<name>.png, to be
// looked at; otherwise nothing.
inline void SaveShot(QWidget& widget, const QString& name) {
    const QByteArray dir = qgetenv("VANTREL_SHOT_DIR");
    if (dir.isEmpty()) return;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    widget.grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(name + QStringLiteral(".png")));
}

inline void SaveImage(const QImage& image, const QString& name) {
    const QByteArray dir = qgetenv("VANTREL_SHOT_DIR");
    if (dir.isEmpty()) return;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    image.save(QDir(QString::fromLocal8Bit(dir)).filePath(name + QStringLiteral(".png")));
}

}  // namespace vantrel::guitest
