#include "support/ShownTexts.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPaintEngine>
#include <QPainter>
#include <QTextDocumentFragment>
#include <QWidget>

#include <algorithm>
#include <climits>
#include <vector>

namespace rig::app::testing {

namespace {

// "&&" shows as "&".
QString shownButtonText(const QAbstractButton& button) {
    return button.text().replace(QStringLiteral("&&"), QStringLiteral("&"));
}

} // namespace

QAbstractButton* buttonShowing(QWidget* root, const QString& text) {
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (shownButtonText(*button) == text) return button;
    }
    return nullptr;
}

void settleLayouts() {
    // A layout done may ask for another one further up or down.
    for (int i = 0; i < 8; ++i) QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

std::vector<QStringList> shownLines(QWidget* root) {
    settleLayouts();

    struct Item {
        QRect place;
        QString text;
    };
    std::vector<Item> items;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(root)) continue;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w)) {
            const bool rich = label->textFormat() == Qt::RichText ||
                              (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
            text = rich ? QTextDocumentFragment::fromHtml(label->text()).toPlainText() : label->text();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            text = shownButtonText(*button);
        }
        if (text.isEmpty()) continue;
        items.push_back({QRect(w->mapTo(root, QPoint(0, 0)), w->size()), text});
    }
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return a.place.center().y() < b.place.center().y();
    });
    // A line is what lies beside its first item; within a line, left to right.
    std::vector<QStringList> out;
    for (std::size_t start = 0; start < items.size();) {
        const QRect first = items[start].place;
        std::size_t end = start + 1;
        while (end < items.size() && items[end].place.center().y() <= first.bottom()) ++end;
        std::stable_sort(items.begin() + std::ptrdiff_t(start), items.begin() + std::ptrdiff_t(end),
                         [](const Item& a, const Item& b) { return a.place.x() < b.place.x(); });
        QStringList line;
        for (std::size_t i = start; i < end; ++i) line << items[i].text;
        out.push_back(line);
        start = end;
    }
    return out;
}

QStringList shownTexts(QWidget* root) {
    QStringList out;
    for (const QStringList& line : shownLines(root)) out += line;
    return out;
}

namespace {

// A paint engine that keeps the text items and draws nothing else.
class TextRecorder : public QPaintEngine {
public:
    TextRecorder() : QPaintEngine(AllFeatures) {}

    std::vector<PaintedText> texts;

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    Type type() const override { return User; }
    void updateState(const QPaintEngineState& state) override {
        if (state.state() & DirtyTransform) transform_ = state.transform();
    }
    void drawTextItem(const QPointF& at, const QTextItem& item) override {
        const QRectF line(at.x(), at.y() - item.ascent(), item.width(), item.ascent() + item.descent());
        texts.push_back({item.text(), transform_.mapRect(line)});
    }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {}
    void drawTiledPixmap(const QRectF&, const QPixmap&, const QPointF&) override {}
    void drawPath(const QPainterPath&) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawPolygon(const QPoint*, int, PolygonDrawMode) override {}
    void drawRects(const QRectF*, int) override {}
    void drawRects(const QRect*, int) override {}
    void drawLines(const QLineF*, int) override {}
    void drawLines(const QLine*, int) override {}
    void drawEllipse(const QRectF&) override {}
    void drawEllipse(const QRect&) override {}
    void drawPoints(const QPointF*, int) override {}
    void drawPoints(const QPoint*, int) override {}

private:
    QTransform transform_;
};

class RecordingDevice : public QPaintDevice {
public:
    explicit RecordingDevice(QSize size) : size_(size) {}

    TextRecorder engine;

    QPaintEngine* paintEngine() const override { return const_cast<TextRecorder*>(&engine); }

protected:
    int metric(PaintDeviceMetric metric) const override {
        switch (metric) {
        case PdmWidth:
            return size_.width();
        case PdmHeight:
            return size_.height();
        case PdmWidthMM:
            return size_.width() * 254 / 960;
        case PdmHeightMM:
            return size_.height() * 254 / 960;
        case PdmNumColors:
            return INT_MAX;
        case PdmDepth:
            return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        }
        return 0;
    }

private:
    QSize size_;
};

} // namespace

std::vector<PaintedText> paintedTexts(QWidget* widget) {
    settleLayouts();
    RecordingDevice device(widget->size());
    {
        QPainter painter(&device);
        widget->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    }
    return device.engine.texts;
}

} // namespace rig::app::testing
