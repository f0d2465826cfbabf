// Placeholder store functions until the store file lands.
#include "imagedb/ImageDatabase.h"

#include "geometry/Messages.h"

std::string StorePathIn(const std::string& folder) {
    if (folder.empty() || folder.back() == '/') {
        return folder + "ImgBinDat";
    }
    return folder + "/ImgBinDat";
}

bool ImageDatabase::SaveStore() const {
    ReportMessage("Unable to open " + m_sStorePath);
    return false;
}

bool ImageDatabase::LoadStore() {
    ReportMessage("Unable to open " + m_sStorePath);
    return false;
}

void ImageDatabase::LoadStore(std::istream&) {}

void ImageDatabase::AppendRecords(const std::vector<ImageRecord>& records) {
    m_vRecords.insert(m_vRecords.end(), records.begin(), records.end());
}

void ImageDatabase::SortAndDedupe() {}
