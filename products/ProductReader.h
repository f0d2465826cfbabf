// Reading rover image products: the camera model, its frame, the vehicle
// pose and the pixels of PDS3 (.IMG with an attached label, .LBL + data),
// VICAR (MER/MSL EDR headers, Mars 2020 .IMG), PDS4 (.xml) products and of
// raw images with their JSON record (sidecar or feed page).
//
// Nothing is guessed: a product that cannot be read gives ok = false and a
// message naming the file and what is wrong. Allocations are bounded by the
// bytes actually present in the files.
#pragma once

#include "geometry/FramePose.h"
#include "geometry/ModelParameters.h"
#include "products/PixelBuffer.h"
#include "products/ProductLabel.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The vehicle frame in its site frame.
struct SitePose {
    FramePose roverToSite;
    int site = 0;
    // False when only the attitude is known: raw-feed records give xyz as
    // (0,0,0) when the position is unknown, and the offset is then 0 too.
    bool offsetKnown = true;
};

struct ProductInfo {
    std::string path;   // the file read (the label, for a detached label)
    std::string source; // "pds3", "vicar", "pds4" or "raw-json"
    ModelParameters model;
    std::string frame;                 // "ROVER_FRAME" or "ROVER_NAV_FRAME"
    std::vector<long long> frameIndex; // the motion counter of that frame
    std::optional<SitePose> pose;      // none when the product carries no usable pose
    int width = 0;                     // delivered image, pixels: what the model fits
    int height = 0;
    // A raw image read with refuseResizedImages false: the image file's own
    // size, which may differ from width x height (0: not read).
    int imageWidth = 0;
    int imageHeight = 0;
    // Subframe origin on the detector (1-based, full-resolution pixels) and
    // the downsampling factor; the model already fits the delivered image.
    int firstLine = 1;
    int firstSample = 1;
    double downsampling = 1.0;
    std::string instrument; // "NAVCAM_LEFT", "NAV_LEFT_B", "MCZ_LEFT", ...
    std::string eye;        // "left", "right" or "" when not a stereo eye
    std::optional<int> sol;
    std::string productId;
    std::string dataFile;              // the file holding the pixels
    std::optional<PixelBuffer> pixels; // PDS3/VICAR when pixels were asked for
    std::vector<std::string> notes;    // what was read but not used, and why
};

struct ProductReadResult {
    bool ok = false;
    std::string message;
    ProductInfo product;
};

struct ProductReadOptions {
    bool pixels = true; // decode the pixels of PDS3/VICAR images
    // A raw image whose size differs from its record's dimension fails;
    // false: it is read, and imageWidth/imageHeight give its own size.
    bool refuseResizedImages = true;
};

// Dispatches on the content: PDS_VERSION_ID or ODL_VERSION_ID (PDS3), LBLSIZE= (VICAR), an XML
// declaration or element (PDS4), '{' / '[' (a JSON record or feed page), else
// an image (JPG/PNG) whose JSON record is looked for beside it.
ProductReadResult ReadProduct(const std::string& path, const ProductReadOptions& options = {});

// The camera model, its frame and the pose from a PDS3 or VICAR label (the
// group names of both). fileName only names the file in messages.
ProductReadResult ModelFromLabel(const ProductLabel& label, const std::string& fileName);

// One raw-image JSON record (an object) or a feed page holding records under
// "images" or "items", matched by image id (the record's imageid is the
// image's name or a leading part of it). imageWidth/imageHeight, when given,
// are checked against the record's delivered dimension.
ProductReadResult ReadRawJsonText(std::string_view text, const std::string& fileName,
                                  std::string_view imageId);

// PDS4 XML text: geom:Camera_Model_Parameters and the ROVER_NAV_FRAME
// coordinate-space definition.
ProductReadResult ReadPds4Text(std::string_view text, const std::string& fileName);

// Width and height from a PNG or JPEG header; nothing for other bytes.
std::optional<std::pair<int, int>> ImageFileSize(std::string_view head);

// Whether name is a supported frame of a camera model: a rover's
// (ROVER_FRAME, ROVER_NAV_FRAME) or a lander's (LANDER_FRAME).
bool IsSupportedModelFrame(std::string_view frame);

// Whether text starts as an ODL label: PDS_VERSION_ID (PDS3) or
// ODL_VERSION_ID (the ODL3 labels of later MSL products), in either case.
bool StartsWithOdlLabel(std::string_view head);
