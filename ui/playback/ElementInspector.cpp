#include "ui/playback/ElementInspector.h"

#include <gst/gst.h>

namespace larkspan {

namespace {

// Calls visit(element) for every element inside bin, depth first, until it
// returns false.
template <typename Visit>
void ForEachElement(GstElement* bin, Visit visit) {
    if (!bin || !GST_IS_BIN(bin)) return;
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(bin));
    GValue item = G_VALUE_INIT;
    bool more = true;
    while (more) {
        switch (gst_iterator_next(it, &item)) {
        case GST_ITERATOR_OK:
            more = visit(GST_ELEMENT(g_value_get_object(&item)));
            g_value_reset(&item);
            break;
        case GST_ITERATOR_RESYNC:
            gst_iterator_resync(it);
            break;
        default:
            more = false;
            break;
        }
    }
    g_value_unset(&item);
    gst_iterator_free(it);
}

std::string ElementName(GstElement* element) {
    gchar* name = gst_object_get_name(GST_OBJECT(element));
    std::string text = name ? name : "";
    g_free(name);
    return text;
}

}  // namespace

std::vector<std::string> ListElementNames(GstElement* bin) {
    std::vector<std::string> names;
    ForEachElement(bin, [&](GstElement* element) {
        names.push_back(ElementName(element));
        return true;
    });
    return names;
}

std::vector<ElementProperty> ListElementProperties(GstElement* bin, const std::string& name) {
    GstElement* found = nullptr;
    ForEachElement(bin, [&](GstElement* element) {
        if (ElementName(element) != name) return true;
        found = GST_ELEMENT(gst_object_ref(element));
        return false;
    });
    std::vector<ElementProperty> properties;
    if (!found) return properties;
    guint count = 0;
    GParamSpec** params = g_object_class_list_properties(G_OBJECT_GET_CLASS(found), &count);
    for (guint i = 0; i < count; ++i) {
        const GParamSpec* param = params[i];
        ElementProperty property;
        property.name = param->name;
        property.type = g_type_name(param->value_type);
        property.readOnly = !(param->flags & G_PARAM_WRITABLE) || (param->flags & G_PARAM_CONSTRUCT_ONLY);
        if (param->flags & G_PARAM_READABLE) {
            GValue value = G_VALUE_INIT;
            g_value_init(&value, param->value_type);
            g_object_get_property(G_OBJECT(found), param->name, &value);
            gchar* text = g_strdup_value_contents(&value);
            property.value = text ? text : "";
            g_free(text);
            g_value_unset(&value);
        }
        properties.push_back(std::move(property));
    }
    g_free(params);
    gst_object_unref(found);
    return properties;
}

}  // namespace larkspan
