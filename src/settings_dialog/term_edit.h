#pragma once
// The entry of the temporary-log term: half-width digits and Backspace only. The input method is
// kept off, and nothing can be pasted into it, whether by keyboard, context menu, middle button
// or drag and drop. Text set by the program is not filtered.

#include <QLineEdit>

class QKeyEvent;

namespace settings_dialog {

// Whether a key press reaches the field. Keys that type no character (arrows, Home, End, Delete,
// and the dialog's Tab, Return and Escape) pass; of the others only the digits 0-9 and Backspace.
// Control-key chords stand for control characters and are dropped, paste (also Shift+Insert)
// among them.
bool termKeyPasses(const QKeyEvent& event);

class DigitsOnlyLineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit DigitsOnlyLineEdit(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void switchInputMethodOff();
};

} // namespace settings_dialog
