// The K1-DELTA plate rows of a form: plate name, motor spacing and the fixed plate weight.
// The caller decides which DeltaSpec they edit (the project's or the library's defaults).
#pragma once

#include "Fields.h"
#include "ToneLabel.h"
#include "model/Extras.h"

#include <QWidget>

namespace rig::app {

namespace style {
class ToneLabel;
}

class DeltaFields : public QWidget {
    Q_OBJECT
public:
    // labelColumn: the labels in a column beside the fields. formRows: three rows of a grouped
    // form (label leading, value trailing, lines between), for a form::FormRows::addRowGroup.
    enum class Layout { labelColumn, formRows };

    explicit DeltaFields(Binding<DeltaSpec> delta, Layout layout = Layout::labelColumn,
                         QWidget* parent = nullptr);

    // Shows the bound plate settings in the fields that are not being typed in.
    void refresh();

    template <class Sender, class Signal>
    void refreshOn(const Sender* sender, Signal signal) {
        connect(sender, signal, this, &DeltaFields::refresh);
    }

    BoxField* nameField() const { return name_; }
    NumField* spacingField() const { return spacing_; }

private:
    Binding<DeltaSpec> delta_;
    BoxField* name_;
    NumField* spacing_;
    style::ToneLabel* weight_;
};

} // namespace rig::app
