// A JSON object written straight into text, for output produced in bulk
// (one object per measurement of a batch). Same conventions as Json.h:
// doubles read back exactly, non-finite ones become "nan", "inf", "-inf".
#pragma once

#include "geometry/Point3D.h"

#include <string>
#include <string_view>
#include <vector>

class JsonWriter {
public:
    // Starts an object at the end of out.
    explicit JsonWriter(std::string& out);

    JsonWriter& Null(std::string_view key);
    JsonWriter& Bool(std::string_view key, bool v);
    JsonWriter& Int(std::string_view key, long long v);
    JsonWriter& Number(std::string_view key, double v);
    JsonWriter& String(std::string_view key, std::string_view v);
    JsonWriter& Point(std::string_view key, const CPoint3D& p);
    JsonWriter& Strings(std::string_view key, const std::vector<std::string>& v);
    // A nested object, closed by EndObject.
    JsonWriter& BeginObject(std::string_view key);
    JsonWriter& EndObject();
    // Closes the outermost object.
    void End();

private:
    void Key(std::string_view key);
    void AppendNumber(double v);
    void AppendString(std::string_view s);

    std::string& m_sOut;
    bool m_bFirst = true;
};
