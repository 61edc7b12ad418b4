#include "plat/qt/qttestinput.h"

#include "plat/qt/qtplat.h"

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QTimer>
#include <QWidget>
#include <QtTest/QTest>

#include <string>

namespace {

std::string g_lastTitle;
QTimer* g_cancel = nullptr;

// A pop-up menu's exec makes it the active pop-up until it closes.
QMenu* shownPopup() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }

Qt::KeyboardModifiers modifiers(unsigned mods)
{
    Qt::KeyboardModifiers m;
    if (mods & QT_TEST_SHIFT)
        m |= Qt::ShiftModifier;
    if (mods & QT_TEST_CTRL)
        m |= Qt::ControlModifier;
    if (mods & QT_TEST_ALT)
        m |= Qt::AltModifier;
    return m;
}

} // namespace

int qtTestKeyClick(int wnd, char key, unsigned mods)
{
    QWidget* w = qtPlatWidget(wnd);
    if (!w)
        return -1;
    QTest::keyClick(w, key, modifiers(mods));
    return 0;
}

void qtTestCancelDialogs()
{
    g_lastTitle.clear();
    if (g_cancel)
        return;
    // A dialog's exec runs its own loop, so a timer of the application
    // finds it there.
    g_cancel = new QTimer(qApp);
    QObject::connect(g_cancel, &QTimer::timeout, [] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            g_lastTitle = d->windowTitle().toStdString();
            d->reject();
        }
    });
    g_cancel->start(20);
}

const char* qtTestLastDialogTitle() { return g_lastTitle.c_str(); }

int qtTestPopupChoose(int id)
{
    QMenu* menu = shownPopup();
    if (!menu)
        return -1;
    if (id == 0) {
        QTest::keyClick(menu, Qt::Key_Escape);
        return 0;
    }
    for (QAction* a : menu->actions())
        if (!a->isSeparator() && a->isEnabled() && a->data().toInt() == id) {
            menu->setActiveAction(a);
            QTest::keyClick(menu, Qt::Key_Return);
            return 0;
        }
    return -1;
}

int qtTestPopupAt(int wnd, int* x, int* y)
{
    QMenu* menu = shownPopup();
    QWidget* w = qtPlatWidget(wnd);
    if (!menu || !w)
        return -1;
    QPoint p = w->mapFromGlobal(menu->pos());
    *x = p.x();
    *y = p.y();
    return 0;
}
