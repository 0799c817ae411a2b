// A small spinning arc: the indeterminate progress of the toolbar, the welcome page and the
// publish button. Turns only while visible.
#pragma once

#include <QTimer>
#include <QWidget>

namespace rig::app {

class BusyIndicator : public QWidget {
    Q_OBJECT
public:
    explicit BusyIndicator(int diameter = 16, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int diameter_;
    int angle_ = 0;
    QTimer timer_;
};

} // namespace rig::app
