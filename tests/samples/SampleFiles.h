// The shipped sample pairs as the sample tests read them: the folder, the
// rows of a pair's truth.csv, and whole files.
#pragma once

#include "geometry/ImagePoint.h"
#include "geometry/Point3D.h"
#include "imagedb/ImageDatabase.h"
#include "imagedb/StoreTransaction.h"

#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace sample_files {

inline std::string SamplesDir() {
    std::string dir(RANVISTA_SOURCE_DIR);
    dir.append("/samples/"); // not literal + string: GCC 12 warns falsely at link time
    return dir;
}

// The samples' image database, read once.
inline const ImageDatabase& SampleDatabase() {
    static const ImageDatabase db = [] {
        ImageDatabase d;
        LoadStoreFile(d, SamplesDir() + "ImgBinDat");
        return d;
    }();
    return db;
}

// One row of truth.csv: the image files (relative to the samples folder),
// the true point and its exact pixels in both images.
struct Truth {
    std::string left, right;
    CPoint3D point;
    ImagePoint l, r;
};

inline std::vector<Truth> ReadTruth(const std::string& folder) {
    std::ifstream in(SamplesDir() + folder + "/truth.csv");
    std::vector<Truth> rows;
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::string f[9];
        for (auto& field : f) {
            std::getline(s, field, ',');
        }
        rows.push_back({f[0],
                        f[1],
                        {std::stod(f[2]), std::stod(f[3]), std::stod(f[4])},
                        {std::stod(f[5]), std::stod(f[6])},
                        {std::stod(f[7]), std::stod(f[8])}});
    }
    return rows;
}

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream f(line);
        std::string field;
        while (std::getline(f, field, ',')) {
            fields.push_back(field);
        }
        rows.push_back(fields);
    }
    return rows;
}

// Every marked pixel of a pair's truth.csv shows a rock corner in its
// 8-bit grey image of the given size: light and dark within 3 pixels.
inline void ExpectCornersAtMarkedPixels(const std::string& folder, int width, int height) {
    const auto rows = CsvRows(ReadAll(SamplesDir() + folder + "/truth.csv"));
    ASSERT_GT(rows.size(), 1u) << folder;
    for (int side = 0; side < 2; ++side) {
        const QImage image(QString::fromStdString(SamplesDir() + rows[1][side]));
        ASSERT_EQ(image.format(), QImage::Format_Grayscale8) << rows[1][side];
        ASSERT_EQ(image.width(), width);
        ASSERT_EQ(image.height(), height);
        for (size_t i = 1; i < rows.size(); ++i) {
            const int col = static_cast<int>(std::lround(std::stod(rows[i][5 + 2 * side])));
            const int row = static_cast<int>(std::lround(std::stod(rows[i][6 + 2 * side])));
            int lo = 255;
            int hi = 0;
            for (int y = row - 3; y <= row + 3; ++y) {
                for (int x = col - 3; x <= col + 3; ++x) {
                    const int v = qGray(image.pixel(x, y));
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                }
            }
            EXPECT_GE(hi - lo, 20) << rows[i][side] << " line " << i + 1;
        }
    }
}

} // namespace sample_files
