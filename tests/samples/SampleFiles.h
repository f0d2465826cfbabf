// The shipped sample pairs as the sample tests read them: the folder, the
// rows of a pair's truth.csv, and whole files.
#pragma once

#include "geometry/ImagePoint.h"
#include "geometry/Point3D.h"

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

} // namespace sample_files
