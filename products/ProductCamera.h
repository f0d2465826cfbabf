// The camera model an image product carries, read from the product or the
// record beside it: which model a side uses, in which vehicle frame, and the
// file to open for the image the user chose.
#pragma once

#include "geometry/ModelParameters.h"
#include "products/ProductReader.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

// An image's size in pixels.
struct ImageSize {
    int width = 0;
    int height = 0;
};

// A frame index as the messages write it: "36,1610".
std::string FrameIndexText(const std::vector<long long>& index);

// One side's camera as its product gives it.
struct ProductCamera {
    ModelParameters model;             // in the vehicle frame of frameIndex (PDS axes)
    std::string source;                // "pds3", "vicar", "pds4" or "raw-json"
    std::string frame;                 // "ROVER_FRAME", "ROVER_NAV_FRAME" or "LANDER_FRAME"
    std::vector<long long> frameIndex; // the vehicle's motion counter
    std::optional<SitePose> pose;      // the vehicle in its site frame
    int width = 0;                     // the image the model fits
    int height = 0;
    // The image file's own size when the product gives it apart from the
    // model's (a raw image beside its record); 0: the same as width x height.
    int imageWidth = 0;
    int imageHeight = 0;

    // "pds3: CAHVORE, ROVER_NAV_FRAME (site 36, drive 1610)".
    std::string Description() const;
};

// Whether a file is a product that carries its own camera model (a label, a
// JSON record, or an image with a JSON record beside it). A plain image is
// not: it is measured with the catalogue camera its name gives.
bool CarriesCameraModel(const std::string& path);

struct ProductCameraResult {
    bool carriesModel = false; // a product at all (CarriesCameraModel)
    std::optional<ProductCamera> camera;
    std::string message; // why the product cannot be used (camera empty)
};
// A plain image gives carriesModel false and no message. A raw image whose
// size differs from its record's still gives its camera: ModelSizeMismatch
// says so.
ProductCameraResult ReadProductCamera(const std::string& path);

// Why the camera of the product at path does not fit the image measured: a
// resized rendition or a cropped copy has another size than the image its
// model was made for. shown: the size the image was decoded at, when known;
// otherwise the image file's own size. Empty when the sizes agree or the
// model gives no size.
std::string ModelSizeMismatch(const std::string& path, const ProductCamera& camera,
                              std::optional<ImageSize> shown = std::nullopt);

// A product's camera for the image actually measured. The full-resolution
// image takes the model as it is; a rendition resized uniformly by s (the
// other side within half a pixel of s times the model's) takes the model
// scaled about pixel centres, H <- s(H + A/2) - A/2 and likewise V, and a
// note says so; anything else (a crop, another aspect) cannot be mapped and
// problem names both sizes.
struct FittedCamera {
    std::optional<ProductCamera> camera; // fits the image; none with a problem
    std::string note;
    std::string problem;
};
FittedCamera FitCameraToImage(const std::string& path, const ProductCamera& camera,
                              std::optional<ImageSize> shown = std::nullopt);

// The file to open for an image the user chose: a raw image's JSON record
// gives the image beside it (by its own name, or the image id the record
// names); the data file of a detached PDS3 label gives the label; anything
// else is opened as it is.
std::string ImageFileToOpen(const std::string& path);

// Products read once per path, for a batch that names the same files again
// and again.
class ProductCameraCache {
public:
    const ProductCameraResult& Get(const std::string& path);

private:
    std::map<std::string, ProductCameraResult> m_known;
};
