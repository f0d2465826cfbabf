// Raw colour mosaics. A colour camera records one colour per pixel through a
// 2x2 Bayer filter (two greens on one diagonal, red and blue on the other).
// Some published products carry those samples as they are: a grey image with
// the filter's pattern laid over the scene, which the eye sees as a mesh and
// a correlation as texture that is not on the ground.
//
// FilterPatternShare recognises one from its samples alone, whatever the
// order of the colours. RemoveBayerMosaic then replaces every sample with the
// luminance (R + 2G + B) / 4 of its 3x3 neighbourhood: the [1 2 1] x [1 2 1]
// / 16 binomial weighs red, green and blue so at every position of the cell,
// is centred on the pixel (no shift of the image) and needs no knowledge of
// which colour sits where.
#pragma once

#include "matching/GreyImage.h"

#include <cstddef>
#include <cstdint>

// How much of an image's finest structure (0..1) is a pattern fixed to the
// pixel grid, repeating every two pixels across, down or both, as a colour
// filter array leaves it in an image not demosaiced: the share of the
// coherent mean of the pattern's components in their energy. A camera's own
// picture, however noisy or compressed, measures a few thousandths.
// samples: row-major, stride samples between rows (0 = width).
double FilterPatternShare(const GreyImage& image);
double FilterPatternShare(const std::uint8_t* samples, int width, int height,
                          std::size_t stride = 0);
double FilterPatternShare(const std::uint16_t* samples, int width, int height,
                          std::size_t stride = 0);

// A share this large: the image kept its colour filter's pattern.
bool LooksLikeBayerMosaic(const GreyImage& image);
bool LooksLikeBayerMosaic(const std::uint8_t* samples, int width, int height,
                          std::size_t stride = 0);
bool LooksLikeBayerMosaic(const std::uint16_t* samples, int width, int height,
                          std::size_t stride = 0);

// The 3x3 binomial, in place (mirrored at the borders, so that a border
// sample's neighbours have the colours of those they stand for); the grey
// image is marked smoothed. Images smaller than 3 x 3 stay as they are.
void RemoveBayerMosaic(GreyImage& image);
void RemoveBayerMosaic(std::uint8_t* samples, int width, int height, std::size_t stride = 0);
void RemoveBayerMosaic(std::uint16_t* samples, int width, int height, std::size_t stride = 0);

// Two eyes to be correlated with each other must look alike at their finest
// scale: when either holds a raw mosaic or was read from one (smoothed), both
// go through the binomial (each at most once), so that neither the pattern
// nor a difference in sharpness decides a correlation. MatchAlike says
// whether MakeAlike would change anything.
bool MatchAlike(const GreyImage& left, const GreyImage& right);
void MakeAlike(GreyImage& left, GreyImage& right);
