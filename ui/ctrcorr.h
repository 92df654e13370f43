// "Установка счетчиков": the two operating-time counters and the two volume counters.
#pragma once

#include <QDialog>

#include "image.h"

class QLabel;
class QPushButton;
class TMaskEdit;

class TCountersForm : public QDialog {
    Q_OBJECT
public:
    TCountersForm(TImageBuffer& image, QWidget* parent = nullptr);

    void CounterToText(int Position, int Count, bool IsTime, TMaskEdit* Edit);
    void TextToCounter(int Position, int Count, TMaskEdit* Edit);
    void BitBtn1Click();
    void e1Exit();
    void e2Exit();

    QLabel *Label1, *Label2, *Label7, *Label8;
    QLabel* Note;  // what a field cannot show whole, when the device holds such a value
    TMaskEdit *e1, *e2, *e3, *e4;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

protected:
    void showEvent(QShowEvent* e) override;  // FormShow

private:
    void FormShow();
    void MinutesCheck(TMaskEdit* e);
    static bool MinutesValid(const TMaskEdit* e);
    TImageBuffer& image_;
    QString shown_[4];  // each field's value as FormShow filled it
};
