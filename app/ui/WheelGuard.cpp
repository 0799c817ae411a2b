#include "WheelGuard.h"

#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QChildEvent>
#include <QComboBox>
#include <QEvent>
#include <QScrollBar>
#include <QWidget>

namespace rig::app {

namespace {

bool takesWheel(const QObject* object) {
    return qobject_cast<const QComboBox*>(object) || qobject_cast<const QAbstractSpinBox*>(object) ||
           (qobject_cast<const QAbstractSlider*>(object) && !qobject_cast<const QScrollBar*>(object));
}

// Watches every widget below the page's viewport: a widget made with a parent reports as a
// child before it is what it will be, so controls are recognised when they are polished.
class WheelGuard : public QObject {
public:
    explicit WheelGuard(QAbstractScrollArea* page) : QObject(page) { watch(page->viewport()); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::ChildAdded:
            if (QObject* child = static_cast<QChildEvent*>(event)->child(); child->isWidgetType())
                watch(child);
            return false;
        case QEvent::Polish:
            noWheelFocus(watched);
            return false;
        case QEvent::Wheel:
            // Ignored here, the wheel goes on to the parents and so to the page.
            if (takesWheel(watched) && !static_cast<QWidget*>(watched)->hasFocus()) {
                event->ignore();
                return true;
            }
            return false;
        default:
            return false;
        }
    }

private:
    void watch(QObject* object) {
        object->installEventFilter(this);
        noWheelFocus(object);
        for (QObject* child : object->children())
            if (child->isWidgetType()) watch(child);
    }

    // The wheel alone would focus the control first and then change it.
    static void noWheelFocus(QObject* object) {
        if (!takesWheel(object)) return;
        auto* control = static_cast<QWidget*>(object);
        if (control->focusPolicy() == Qt::WheelFocus) control->setFocusPolicy(Qt::StrongFocus);
    }
};

} // namespace

void scrollPastControls(QAbstractScrollArea* page) {
    new WheelGuard(page);
}

} // namespace rig::app
