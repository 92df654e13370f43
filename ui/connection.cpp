// The window's connection settings: the COM port and the rate, typed or chosen, stored, and
// the port opened on each change.
#include <QComboBox>
#include <QLineEdit>

#include "guard.h"
#include "main.h"
#include "base/settingsstore.h"

int TForm1::SelectedIndex(const QComboBox* combo) const
{
    // Typed text selects the item it spells exactly, or none.
    const int i = combo->currentIndex();
    if (i >= 0 && combo->itemText(i) == combo->currentText())
        return i;
    return combo->findText(combo->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void TForm1::ConnectionTyped(QComboBox* combo)
{
    QLineEdit* edit = combo->lineEdit();
    const int i = combo->findText(edit->text(), Qt::MatchFixedString);  // whole text, any case
    if (i < 0)
        return;  // not an item (yet): nothing is opened or stored
    const bool changed = i != combo->currentIndex();
    // The item's own spelling, the typing position kept: the completion keeps the case typed.
    const int selStart = edit->selectionStart();
    const int selLength = static_cast<int>(edit->selectedText().size());
    const int cursor = edit->cursorPosition();
    combo->setCurrentIndex(i);
    if (edit->text() != combo->itemText(i))
        edit->setText(combo->itemText(i));
    if (selStart >= 0 && selLength > 0)
        edit->setSelection(selStart + selLength, -selLength);
    else
        edit->setCursorPosition(cursor);
    if (changed)
        Change_Port_and_Speed();
}

void TForm1::ConnectionLeft(QComboBox* combo)
{
    // Left with text that names no item: the list shows again what is in use.
    if (SelectedIndex(combo) < 0)
        combo->setEditText(combo->currentIndex() >= 0 ? combo->itemText(combo->currentIndex()) : QString());
}

void TForm1::DoOpenCom()
{
    actions_->Session().Open(SelectedIndex(Com_Port_Name), StrToInt(Com_Port_Speed->currentText()));
}

void TForm1::DoCloseCom() { actions_->Session().Close(); }

void TForm1::WriteComSettings()
{
    // Only an item is stored: text that names none would come back as a nonsense setting.
    const auto s = OpenSettings();
    if (const int port = SelectedIndex(Com_Port_Name); port >= 0)
        s->setValue(QStringLiteral("ComNumber"), port + 1);
    if (const int speed = SelectedIndex(Com_Port_Speed); speed >= 0)
        s->setValue(QStringLiteral("BaudRate"), speed);
}

void TForm1::ShowPortPaths()
{
    // Each COM name's tool tip: the device it resolves to on this machine, now.
    for (int i = 0; i < Com_Port_Name->count(); ++i)
        Com_Port_Name->setItemData(i, QString::fromStdString(ResolvePortName(Com_Port_Name->itemText(i).toStdString())),
                                   Qt::ToolTipRole);
}

void TForm1::Change_Port_and_Speed()
{
    ShowPortPaths();
    DoCloseCom();
    WriteComSettings();
    RunGuarded([this] { DoOpenCom(); });
}

void TForm1::CheckComOpened() { actions_->Session().CheckOpen(); }
