// Sheets: dialogs modal to their window only, deleted once closed.
#pragma once

#include <QDialog>

#include <utility>

namespace rig::app {

// Makes `sheet` a sheet of its parent window; `finished` runs (in `context`) when it ends.
// The caller opens it.
template <class Finished>
void prepareSheet(QDialog* sheet, QObject* context, Finished finished) {
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    QObject::connect(sheet, &QDialog::finished, context, std::move(finished));
}

} // namespace rig::app
