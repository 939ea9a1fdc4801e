#include "settings_dialog/term_edit.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

namespace settings_dialog {

bool termKeyPasses(const QKeyEvent& event) {
    const int key = event.key();
    if (key == Qt::Key_Backspace)
        return true;
    if (key == Qt::Key_Paste || event.matches(QKeySequence::Paste))
        return false;
    // Control with a character key stands for a control character (Ctrl+V is character 22).
    if ((event.modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) && key < Qt::Key_Escape)
        return false;
    // Keys that type nothing printable: Tab, Return, Escape, the arrows, Delete and so on.
    const QString text = event.text();
    if (text.isEmpty() || !text.at(0).isPrint())
        return true;
    return text.size() == 1 && text[0] >= QLatin1Char('0') && text[0] <= QLatin1Char('9');
}

DigitsOnlyLineEdit::DigitsOnlyLineEdit(QWidget* parent) : QLineEdit(parent) {
    setInputMethodHints(Qt::ImhDigitsOnly | Qt::ImhPreferLatin | Qt::ImhNoPredictiveText);
    setAcceptDrops(false);
    switchInputMethodOff();
}

void DigitsOnlyLineEdit::switchInputMethodOff() {
    setAttribute(Qt::WA_InputMethodEnabled, false);
}

void DigitsOnlyLineEdit::keyPressEvent(QKeyEvent* event) {
    switchInputMethodOff();
    if (termKeyPasses(*event))
        QLineEdit::keyPressEvent(event);
    else
        event->accept(); // swallowed, so that no other widget acts on it either
}

void DigitsOnlyLineEdit::inputMethodEvent(QInputMethodEvent* event) {
    // A composition that arrives anyway is dropped whole.
    event->accept();
}

void DigitsOnlyLineEdit::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The standard menu names its paste entry with this same translated text.
    const QString pasteText = QLineEdit::tr("&Paste");
    for (QAction* action : menu->actions())
        if (action->text().startsWith(pasteText))
            menu->removeAction(action);
    menu->popup(event->globalPos());
}

void DigitsOnlyLineEdit::mouseReleaseEvent(QMouseEvent* event) {
    // The middle button pastes the X11 selection.
    if (event->button() == Qt::MiddleButton) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void DigitsOnlyLineEdit::focusInEvent(QFocusEvent* event) {
    switchInputMethodOff();
    QLineEdit::focusInEvent(event);
}

} // namespace settings_dialog
