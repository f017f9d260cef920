#pragma once
// What a pipeline is made of, for a dialog that shows its elements and their
// settings.
#include <string>
#include <vector>

typedef struct _GstElement GstElement;

namespace larkspan {

// One property of an element as a dialog shows it.
struct ElementProperty {
    std::string name;
    std::string type;   // the value's type name ("gdouble", "gboolean", "GstCaps", ...)
    std::string value;  // the current value as text; empty when it cannot be read
    bool readOnly = false;  // cannot be changed now (not writable, or only at construction)
};

// The names of every element inside bin, bins inside it included, in the
// order the bin lists them (bin itself is not listed).
std::vector<std::string> ListElementNames(GstElement* bin);
// The properties of the first element inside bin named name, in the order
// its class declares them; empty when there is no such element.
std::vector<ElementProperty> ListElementProperties(GstElement* bin, const std::string& name);

}  // namespace larkspan
