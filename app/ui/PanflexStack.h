// The Panflex setting of one enclosure: its "|"-separated parts as small stacked labels,
// every part other than "55/55" marked on the loudspeaker series that have Panflex.
#pragma once

#include <QString>
#include <QWidget>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rig::app {

struct PanflexPart {
    enum class Style { plain, highlighted, dimmed };
    QString text;
    Style style = Style::plain;

    friend bool operator==(const PanflexPart&, const PanflexPart&) = default;
};

struct PanflexLayout {
    std::vector<PanflexPart> parts;
    bool framed = false; // the value holds a "|"

    friend bool operator==(const PanflexLayout&, const PanflexLayout&) = default;
};

// Type begins with L2, KARA, K1, K2, K3, A10 or A15, in any letter case.
bool isPanflexSeries(std::string_view type);
PanflexLayout panflexLayout(const std::optional<std::string>& value, std::string_view type);

class PanflexStack : public QWidget {
    Q_OBJECT
public:
    PanflexStack(std::optional<std::string> value, std::string type, QWidget* parent = nullptr);

    const PanflexLayout& layout() const { return layout_; }
    void setValue(std::optional<std::string> value, std::string type);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    PanflexLayout layout_;
};

} // namespace rig::app
