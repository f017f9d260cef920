#pragma once
// A read-only list of one pipeline element's properties.
#include <QDialog>

#include <vector>

#include "ui/playback/ElementInspector.h"

namespace larkspan {

class FilterPropertiesDialog : public QDialog {
    Q_OBJECT

public:
    FilterPropertiesDialog(const QString& elementName, const std::vector<ElementProperty>& properties,
                           QWidget* parent = nullptr);
};

}  // namespace larkspan
