// "Проверка часов": the PC's time, live, and the question whether it is right.
#pragma once

#include <QDateTime>
#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;
class QTimer;

class TClockVerifyForm : public QDialog {
    Q_OBJECT
public:
    explicit TClockVerifyForm(QWidget* parent = nullptr);

    // The clock the display reads; tests put their own in.
    std::function<QTime()> Clock = [] { return QTime::currentTime(); };
    static QString TimeSeparator();
    static QString FormatTime(const QTime& t);

    QLabel* Label1;
    QLabel* clockDisplay;
    QLabel* dateDisplay;
    QLabel* Label3;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    QTimer* Timer1;

    void Timer1Timer();

protected:
    void showEvent(QShowEvent* e) override;  // FormShow
    void hideEvent(QHideEvent* e) override;  // FormHide
    void keyPressEvent(QKeyEvent* e) override;
};
