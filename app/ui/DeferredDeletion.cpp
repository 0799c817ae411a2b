#include "DeferredDeletion.h"

#include <QElapsedTimer>
#include <QLayout>

namespace rig::app {

namespace {

// Deleting goes on in one pass of the event loop for about this long.
constexpr qint64 budgetNs = 10'000'000;

} // namespace

DeferredDeletion::DeferredDeletion(QObject* owner) : QObject(owner) {
    timer_.setSingleShot(true);
    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this, &DeferredDeletion::deleteSome);
}

DeferredDeletion::~DeferredDeletion() {
    for (const QPointer<QWidget>& widget : waiting_) delete widget.data();
}

void DeferredDeletion::add(QWidget* widget) {
    widget->hide();
    // It stays with its parent meanwhile: taken out of the window, it would make Qt walk the
    // whole window's focus chain.
    if (QWidget* parent = widget->parentWidget(); parent && parent->layout())
        parent->layout()->removeWidget(widget);
    waiting_.emplace_back(widget);
    timer_.start();
}

void DeferredDeletion::deleteSome() {
    QElapsedTimer spent;
    spent.start();
    while (!waiting_.empty() && spent.nsecsElapsed() < budgetNs) {
        QWidget* widget = waiting_.front();
        if (!widget) {
            waiting_.pop_front();
            continue;
        }
        // A child at a time (the rows of a block, the blocks of a column), the last first: it
        // leaves the others where they are.
        QWidget* part = nullptr;
        const QObjectList& children = widget->children();
        for (auto child = children.rbegin(); child != children.rend() && !part; ++child)
            if ((*child)->isWidgetType()) part = static_cast<QWidget*>(*child);
        if (part) {
            delete part;
        } else {
            waiting_.pop_front();
            delete widget;
        }
    }
    if (!waiting_.empty()) timer_.start();
}

} // namespace rig::app
