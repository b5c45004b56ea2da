#pragma once
// The bytes of a JSON text as simdjson reads them: in place when the array has room for
// simdjson's padding after the text (a QByteArray that grew by appending usually has), else
// a padded copy. Header-only, for the files that read JSON with simdjson.

#include <QByteArray>

#include <simdjson.h>

namespace kpr {

struct PaddedJson
{
    explicit PaddedJson(const QByteArray &json)
    {
        if (size_t(json.capacity() - json.size()) >= simdjson::SIMDJSON_PADDING) {
            view = simdjson::padded_string_view(json.constData(), size_t(json.size()), size_t(json.capacity()));
        } else {
            copy = simdjson::padded_string(json.constData(), size_t(json.size()));
            view = copy;
        }
    }
    simdjson::padded_string copy;
    simdjson::padded_string_view view;
};

} // namespace kpr
