// CSV and PLY of the measurements, read back by small readers of our own:
// numbers come back exactly, notes with separators survive, and binary PLY
// is little-endian with the header's layout.
#include "session/MeasurementExport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

namespace {

std::vector<MeasurementRecord> Rows() {
    std::vector<MeasurementRecord> rows(3);
    for (int i = 0; i < 3; ++i) {
        MeasurementRecord& r = rows[i];
        r.index = 2 * i + 1;
        r.leftPixel = {100.25 + i, 200.5};
        r.rightPixel = {90.125, 201.0 / 3.0};
        r.position = {1.0 / 3.0 + i, -0.1 * i, 0.2};
        r.rangeM = r.position.Length();
        r.timeUtc = "2026-12-09T12:00:00Z";
    }
    rows[0].note = "plain";
    rows[1].note = "rock, \"big\"\nsecond line";
    rows[2].uncertainty = PointUncertainty{{}, 0.01, 0.009, 0.001, 0.004};
    rows[2].missDistanceM = 0.0003;
    return rows;
}

// RFC 4180 records: quoted fields may hold commas, quotes and line breaks.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                records.back().back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                records.back().back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            records.back().emplace_back();
        } else if (c == '\n') {
            records.emplace_back(1);
        } else {
            records.back().back() += c;
        }
    }
    records.pop_back(); // after the last line end
    return records;
}

struct PlyVertex {
    double x = 0, y = 0, z = 0;
    int r = -1, g = -1, b = -1;
    int index = 0;
};

// Reads what MeasurementsPly writes, driven by the header's properties.
std::vector<PlyVertex> ReadPly(const std::string& bytes) {
    std::istringstream in(bytes);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "ply");
    bool binary = false;
    std::size_t count = 0;
    std::vector<std::string> props;
    while (std::getline(in, line) && line != "end_header") {
        std::istringstream w(line);
        std::string key;
        w >> key;
        if (key == "format") {
            std::string kind;
            w >> kind;
            binary = kind == "binary_little_endian";
        } else if (key == "element") {
            std::string name;
            w >> name >> count;
        } else if (key == "property") {
            std::string type, name;
            w >> type >> name;
            props.push_back(type + " " + name);
        }
    }
    std::vector<PlyVertex> v(count);
    for (PlyVertex& p : v) {
        for (const std::string& prop : props) {
            const std::string name = prop.substr(prop.find(' ') + 1);
            const std::string type = prop.substr(0, prop.find(' '));
            double value = 0;
            if (!binary) {
                in >> value;
            } else if (type == "double") {
                char b[8];
                in.read(b, 8);
                std::memcpy(&value, b, 8);
            } else if (type == "uchar") {
                value = static_cast<unsigned char>(in.get());
            } else {
                char b[4];
                in.read(b, 4);
                std::int32_t i = 0;
                std::memcpy(&i, b, 4);
                value = i;
            }
            if (name == "x")
                p.x = value;
            if (name == "y")
                p.y = value;
            if (name == "z")
                p.z = value;
            if (name == "red")
                p.r = static_cast<int>(value);
            if (name == "green")
                p.g = static_cast<int>(value);
            if (name == "blue")
                p.b = static_cast<int>(value);
            if (name == "index")
                p.index = static_cast<int>(value);
        }
    }
    EXPECT_TRUE(in) << "the data ended early";
    if (!binary) {
        in >> std::ws;
    }
    EXPECT_EQ(in.peek(), std::char_traits<char>::eof()) << "bytes after the last vertex";
    return v;
}

} // namespace

TEST(MeasurementExport, CsvNamesFrameAndUnitsAndReadsBackExactlyWithAwkwardNotes) {
    const auto rows = Rows();
    const std::string csv = MeasurementsCsv(rows);
    ASSERT_EQ(csv.rfind("# frame:", 0), 0u);
    const auto records = ParseCsv(csv.substr(csv.find('\n') + 1));
    ASSERT_EQ(records.size(), 4u);
    const auto& header = records[0];
    const auto column = [&header](const std::string& name) {
        const auto it = std::find(header.begin(), header.end(), name);
        EXPECT_NE(it, header.end()) << name;
        return static_cast<std::size_t>(it - header.begin());
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& f = records[i + 1];
        ASSERT_EQ(f.size(), header.size()) << "row " << i;
        EXPECT_EQ(std::stod(f[column("x_m")]), rows[i].position.m_dX);
        EXPECT_EQ(std::stod(f[column("right_row_px")]), rows[i].rightPixel.y);
        EXPECT_EQ(f[column("note")], rows[i].note);
        EXPECT_EQ(f[column("index")], std::to_string(rows[i].index));
        EXPECT_EQ(f[column("left_set")], "clicked");
    }
    EXPECT_EQ(records[1][column("sigma_range_m")], "") << "unknown values stay empty";
    EXPECT_EQ(records[1][column("miss_distance_m")], "");
    EXPECT_EQ(std::stod(records[3][column("sigma_vertical_m")]), 0.004);
    EXPECT_EQ(std::stod(records[3][column("miss_distance_m")]), 0.0003);
}

TEST(MeasurementExport, AsciiAndBinaryPlyHoldTheSamePointsAndColours) {
    const auto rows = Rows();
    const std::vector<Rgb> colours = {{{1, 2, 3}}, {{250, 128, 0}}, {{255, 255, 255}}};
    for (const PlyEncoding e : {PlyEncoding::Ascii, PlyEncoding::BinaryLittleEndian}) {
        const auto v = ReadPly(MeasurementsPly(rows, colours, e));
        ASSERT_EQ(v.size(), rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(v[i].x, rows[i].position.m_dX);
            EXPECT_EQ(v[i].y, rows[i].position.m_dY);
            EXPECT_EQ(v[i].z, rows[i].position.m_dZ);
            EXPECT_EQ(v[i].index, rows[i].index);
            EXPECT_EQ(v[i].r, colours[i][0]);
            EXPECT_EQ(v[i].g, colours[i][1]);
            EXPECT_EQ(v[i].b, colours[i][2]);
        }
    }
    // Colours that do not match the rows one for one are left out, not misread.
    const auto plain =
        ReadPly(MeasurementsPly(rows, {{{1, 2, 3}}}, PlyEncoding::BinaryLittleEndian));
    ASSERT_EQ(plain.size(), 3u);
    EXPECT_EQ(plain[2].r, -1);
    EXPECT_EQ(plain[2].index, 5);
    EXPECT_TRUE(ReadPly(MeasurementsPly({}, {}, PlyEncoding::Ascii)).empty());
}
