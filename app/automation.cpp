#include "automation.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QSlider>
#include <QSocketNotifier>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <fstream>
#include <string>
#ifdef _WIN32
#include <mutex>
#include <thread>

#include <windows.h>
#else
#include <unistd.h>
#endif

#include "guard.h"
#include "maskedit.h"

namespace {

QElapsedTimer& ProcessClock()
{
    static QElapsedTimer t;
    return t;
}

QWidget* Find(const QString& name)
{
    // The modal window first: its controls are the ones a user can reach.
    if (QWidget* m = QApplication::activeModalWidget()) {
        if (m->objectName() == name)
            return m;
        if (auto* w = m->findChild<QWidget*>(name))
            return w;
    }
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->isVisible())
            continue;
        if (top->objectName() == name)
            return top;
        if (auto* w = top->findChild<QWidget*>(name))
            return w;
    }
    return nullptr;
}

void PostClick(QWidget* w, QPoint at)
{
    const QPointF local(at), global(w->mapToGlobal(at));
    QApplication::postEvent(
        w, new QMouseEvent(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QApplication::postEvent(
        w, new QMouseEvent(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

void PostKey(QWidget* w, int key, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QApplication::postEvent(w, new QKeyEvent(QEvent::KeyPress, key, mods, text));
    QApplication::postEvent(w, new QKeyEvent(QEvent::KeyRelease, key, mods, text));
}

int KeyCode(const QString& name)
{
    static const QHash<QString, int> keys = {
        {QStringLiteral("Return"), Qt::Key_Return}, {QStringLiteral("Escape"), Qt::Key_Escape},
        {QStringLiteral("Tab"), Qt::Key_Tab},       {QStringLiteral("Control"), Qt::Key_Control},
        {QStringLiteral("Delete"), Qt::Key_Delete}, {QStringLiteral("Backspace"), Qt::Key_Backspace},
        {QStringLiteral("Down"), Qt::Key_Down},     {QStringLiteral("Up"), Qt::Key_Up},
        {QStringLiteral("Left"), Qt::Key_Left},     {QStringLiteral("Right"), Qt::Key_Right},
        {QStringLiteral("PageUp"), Qt::Key_PageUp}, {QStringLiteral("PageDown"), Qt::Key_PageDown},
        {QStringLiteral("Home"), Qt::Key_Home},     {QStringLiteral("End"), Qt::Key_End},
    };
    return keys.value(name, 0);
}

// Runs f after the input posted before it has been handled (posted events run in order).
void Later(std::function<void()> f) { QMetaObject::invokeMethod(qApp, std::move(f), Qt::QueuedConnection); }

QString ValueOf(QWidget* w)
{
    if (auto* m = qobject_cast<TMaskEdit*>(w))
        return m->text();
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentText();
    if (auto* c = qobject_cast<QCheckBox*>(w))
        return c->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    if (auto* s = qobject_cast<QSlider*>(w))
        return QString::number(s->value());
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* p = qobject_cast<QPlainTextEdit*>(w))  // one reply line: its line ends as \n
        return p->toPlainText().replace(u'\n', QStringLiteral("\\n"));
    if (auto* t = qobject_cast<QTabWidget*>(w))
        return t->tabText(t->currentIndex());
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->isCheckable() ? (b->isChecked() ? QStringLiteral("1") : QStringLiteral("0")) : b->text();
    return w->windowTitle();
}

QString ModalText(QWidget* m)
{
    if (auto* box = qobject_cast<QMessageBox*>(m))
        return box->text();
    if (auto* l = m->findChild<QLabel*>(QStringLiteral("Message")))
        return l->text();
    return {};
}

QString PeakRss()
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return QString::fromStdString(line.substr(6)).simplified();
    return QStringLiteral("?");
}

}  // namespace

#ifdef _WIN32
// Shared by the reader thread and the window: the thread may outlive the hook at exit.
struct TInputQueue {
    std::mutex mu;
    QByteArray bytes;
    bool closed = false;
};
#endif

TAutomation::TAutomation(QObject* parent) : QObject(parent)
{
    ProcessClock().start();
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "Open");
#ifdef _WIN32
    queue_ = std::make_shared<TInputQueue>();
    std::thread([q = queue_] {
        const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
        char buf[4096];
        DWORD n = 0;
        while (ReadFile(in, buf, sizeof buf, &n, nullptr) && n > 0) {
            std::lock_guard<std::mutex> g(q->mu);
            q->bytes.append(buf, static_cast<int>(n));
        }
        std::lock_guard<std::mutex> g(q->mu);
        q->closed = true;
    }).detach();  // blocked in ReadFile until the controller closes the pipe or the process ends
    poll_ = new QTimer(this);
    connect(poll_, &QTimer::timeout, this, &TAutomation::ReadInput);
    poll_->start(5);
#else
    notifier_ = new QSocketNotifier(0, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TAutomation::ReadInput);
#endif
}

void TAutomation::WatchForShow(QWidget* window)
{
    watched_ = window;
    window->installEventFilter(this);
}

bool TAutomation::eventFilter(QObject* o, QEvent* e)
{
    if (o == watched_ && e->type() == QEvent::Show) {
        std::printf("@ shown %lld\n", static_cast<long long>(ProcessClock().elapsed()));
        std::fflush(stdout);
        watched_->removeEventFilter(this);
        watched_ = nullptr;
    }
    return false;
}

void TAutomation::ReadInput()
{
#ifdef _WIN32
    QByteArray got;
    bool closed = false;
    {
        std::lock_guard<std::mutex> g(queue_->mu);
        got.swap(queue_->bytes);
        closed = queue_->closed;
    }
    if (closed)
        poll_->stop();  // the controller is gone
    if (!got.isEmpty())
        Take(got);
#else
    char buf[4096];
    const ssize_t n = ::read(0, buf, sizeof buf);
    if (n <= 0) {
        notifier_->setEnabled(false);  // the controller is gone
        return;
    }
    Take(QByteArray(buf, static_cast<int>(n)));
#endif
}

void TAutomation::Take(const QByteArray& bytes)
{
    pending_.append(bytes);
    int nl;
    while ((nl = pending_.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(pending_.left(nl)).trimmed();
        pending_.remove(0, nl + 1);
        const QString reply = Handle(line);
        std::printf("@ %s\n", reply.toUtf8().constData());
        std::fflush(stdout);
    }
}

TAutomation::~TAutomation() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }

void TAutomation::Open(const QUrl& url) { opened_ = url.toLocalFile(); }

QString TAutomation::Handle(const QString& line)
{
    const QStringList a = line.split(u' ', Qt::SkipEmptyParts);
    if (a.isEmpty())
        return QStringLiteral("error empty");
    const QString& cmd = a[0];
    if (cmd == u"state") {
        QWidget* m = QApplication::activeModalWidget();
        QWidget* f = QApplication::focusWidget();
        // Each modal window gets a number of its own: three equal boxes are three windows.
        static int windows = 0;
        if (m && !m->property("automationId").isValid())
            m->setProperty("automationId", ++windows);
        return QStringLiteral("started=%5 busy=%1 cursor=%2 focus=%3 modalid=%6 modal=%4")
            .arg(RunningActions())
            .arg(QGuiApplication::overrideCursor() ? QStringLiteral("wait") : QStringLiteral("normal"))
            .arg(f ? f->objectName() : QStringLiteral("-"))
            .arg(m ? m->windowTitle() + u'|' + ModalText(m).replace(u'\n', u' ') : QStringLiteral("-"))
            .arg(StartedActions())
            .arg(m ? m->property("automationId").toInt() : 0);
    }
    if (cmd == u"rss")
        return PeakRss();
    if (cmd == u"opened")
        return opened_.isEmpty() ? QStringLiteral("-") : opened_;
    if (cmd == u"quit") {
        QApplication::exit(0);
        return QStringLiteral("ok");
    }
    if (cmd == u"keys" && a.size() >= 2) {
        // Types the text into whatever has the focus once the input before it is handled.
        const QString text = line.section(u' ', 1);
        Later([text] {
            QWidget* f = QApplication::focusWidget();
            // Where no window is active (the offscreen platform activates none by itself), the
            // modal window's own focus.
            if (!f && QApplication::activeModalWidget())
                f = QApplication::activeModalWidget()->focusWidget();
            for (QWidget* top : QApplication::topLevelWidgets())
                if (!f && top->isVisible() && top->focusWidget())
                    f = top->focusWidget();
            if (!f)
                return;
            for (const QChar c : text)
                PostKey(f, c.isDigit() ? Qt::Key_0 + c.digitValue() : (c.toUpper().unicode()), QString(c));
        });
        return QStringLiteral("ok");
    }
    if (a.size() < 2)
        return QStringLiteral("error usage");
    if (cmd == u"press") {  // press N: button N of the message box on screen
        QWidget* m = QApplication::activeModalWidget();
        if (!m)
            return QStringLiteral("error no modal window");
        const int n = a[1].toInt();
        QAbstractButton* b = nullptr;
        if (auto* box = qobject_cast<QMessageBox*>(m))
            b = n < box->buttons().size() ? box->buttons().at(n) : nullptr;
        else
            b = m->findChild<QAbstractButton*>(QStringLiteral("btn%1").arg(n));
        if (!b)
            return QStringLiteral("error no button");
        PostClick(b, b->rect().center());
        return QStringLiteral("ok");
    }
    QWidget* w = Find(a[1]);
    if (!w)
        return QStringLiteral("error no widget ") + a[1];
    if (cmd == u"click") {
        // A click gives the focus first, as the window system does for a real one.
        QPointer<QWidget> target(w);
        Later([target] {
            if (target && (target->focusPolicy() & Qt::ClickFocus))
                target->setFocus(Qt::MouseFocusReason);
        });
        PostClick(w, w->rect().center());
        return QStringLiteral("ok");
    }
    if (cmd == u"cell" && a.size() == 4) {  // cell GRID ROW COL: click the cell
        auto* view = qobject_cast<QAbstractItemView*>(w);
        if (!view)
            return QStringLiteral("error not a grid");
        const QRect r = view->visualRect(view->model()->index(a[2].toInt(), a[3].toInt()));
        PostClick(view->viewport(), r.center());
        return QStringLiteral("ok");
    }
    if (cmd == u"celltext" && a.size() == 4) {
        auto* view = qobject_cast<QAbstractItemView*>(w);
        if (!view)
            return QStringLiteral("error not a grid");
        return view->model()->index(a[2].toInt(), a[3].toInt()).data().toString();
    }
    if (cmd == u"key" && a.size() >= 3) {  // key WIDGET NAME [ctrl]
        const int k = KeyCode(a[2]);
        if (!k)
            return QStringLiteral("error key ") + a[2];
        Qt::KeyboardModifiers mods = Qt::NoModifier;
        if (a.size() > 3 && a[3] == u"ctrl")
            mods = Qt::ControlModifier;
        if (k == Qt::Key_Control)
            mods = Qt::ControlModifier;
        const bool toFocus = a[1] == u"focus";
        QPointer<QWidget> target(w);
        Later([toFocus, target, k, mods] {
            QWidget* to = toFocus ? QApplication::focusWidget() : target.data();
            if (to)
                PostKey(to, k, k == Qt::Key_Return ? QStringLiteral("\r") : QString(), mods);
        });
        return QStringLiteral("ok");
    }
    if (cmd == u"tab" && a.size() == 3) {  // tab TABWIDGET INDEX: click the page's tab
        auto* t = qobject_cast<QTabWidget*>(w);
        if (!t)
            return QStringLiteral("error not a page control");
        PostClick(t->tabBar(), t->tabBar()->tabRect(a[2].toInt()).center());
        return QStringLiteral("ok");
    }
    if (cmd == u"choose" && a.size() == 3) {  // choose COMBO INDEX: from the drop-down list
        auto* c = qobject_cast<QComboBox*>(w);
        if (!c || a[2].toInt() >= c->count())
            return QStringLiteral("error not a combo box or no such item");
        c->showPopup();
        QAbstractItemView* v = c->view();
        const QRect r = v->visualRect(c->model()->index(a[2].toInt(), 0));
        PostClick(v->viewport(), r.center());
        return QStringLiteral("ok");
    }
    if (cmd == u"get")
        return ValueOf(w);
    if (cmd == u"enabled")
        return w->isEnabled() ? QStringLiteral("1") : QStringLiteral("0");
    if (cmd == u"accessible")
        return w->accessibleName();
    return QStringLiteral("error unknown command");
}
