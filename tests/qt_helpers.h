// Driving modal dialogs from a test: act on the next modal window once it is shown.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

// A window's control found by its object name: the controls are the window's own, and the
// names are what the automation hook and the accessibility tree use too.
template <class T = QWidget>
T* W(const QObject* root, const char* name)
{
    T* w = root->findChild<T*>(QString::fromLatin1(name));
    if (!w)
        qFatal("no control named %s", name);
    return w;
}

// Calls f with the next modal widget, from inside its modal loop. Several can be queued:
// each waits for a modal widget other than the one before it. That one is watched, not
// compared by address: a box freed and the next one allocated may share it.
inline void OnNextModal(std::function<void(QWidget*)> f, QWidget* notThis = nullptr)
{
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    auto poll = std::make_shared<std::function<void()>>();
    QPointer<QWidget> before(notThis);
    *poll = [f, before, timer, poll]() {
        QWidget* w = QApplication::activeModalWidget();
        if (w && w != before.data() && w->isVisible()) {
            // Offscreen windows are not activated by themselves; focus events need it.
            w->activateWindow();
            QApplication::setActiveWindow(w);
            f(w);
            *poll = nullptr;  // break the self-reference
            return;
        }
        if (timer->elapsed() > 20000) {
            ADD_FAILURE() << "no modal window appeared";
            *poll = nullptr;
            // What shows up late is closed, so that the test ends with its failure instead of
            // waiting for a click that no one will give until ctest's time runs out.
            auto* sweep = new QTimer(qApp);
            QObject::connect(sweep, &QTimer::timeout, [] {
                if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget()); d && d->isVisible())
                    d->reject();
            });
            sweep->start(50);
            QTimer::singleShot(60000, sweep, &QObject::deleteLater);
            return;
        }
        QTimer::singleShot(5, [poll] {
            if (*poll)
                (*poll)();
        });
    };
    QTimer::singleShot(0, [poll] {
        if (*poll)
            (*poll)();
    });
}

// The text of a box: our own message form or a QMessageBox.
inline QString BoxText(QWidget* w)
{
    if (auto* mb = qobject_cast<QMessageBox*>(w))
        return mb->text();
    if (auto* l = w->findChild<QLabel*>(QStringLiteral("Message")))
        return l->text();
    return {};
}

// Closes a box with its first button (our form: "btn0"; a QMessageBox: its OK).
inline void PressFirst(QWidget* w)
{
    if (auto* mb = qobject_cast<QMessageBox*>(w)) {
        mb->button(QMessageBox::Ok)->click();
        return;
    }
    if (auto* b = w->findChild<QPushButton*>(QStringLiteral("btn0")))
        b->click();
}

// Records every box that appears (title + text) and closes it with its first button,
// until stopped.
struct BoxRecorder {
    QStringList seen;
    bool active = true;
    std::function<void(QWidget*)> answer;  // instead of the first button, when set
    QTimer timer;
    BoxRecorder()
    {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (!active || !w || !w->isVisible() || w->property("zendaSeen").toBool())
                return;
            if (!qobject_cast<QMessageBox*>(w) && !w->findChild<QLabel*>(QStringLiteral("Message")))
                return;  // not a message box: some other dialog the test drives itself
            w->setProperty("zendaSeen", true);
            seen << w->windowTitle() + QStringLiteral(": ") + BoxText(w);
            if (answer)
                answer(w);
            else
                PressFirst(w);
        });
        timer.start();
    }
};

// Readable failure output for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
