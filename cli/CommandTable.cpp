// The subcommands of ranvista-cli and their help. A new subcommand is one
// entry here: its Run function, a summary, synopses, options and an example;
// --help, the manual page and the completion follow from it.
#include "cli/Help.h"

#include <vector>

namespace {

const OptionHelp kDb{"db", "STORE",
                     "image database store file (default: ImgBinDat in the current folder)"};

const std::vector<OptionHelp> kPairOptions{
    {"left", "PATH", "left image (PNG)"},
    {"right", "PATH", "right image (PNG)"},
    {"from", "left|right", "the image the pixel is in (default left)"},
    {"left-camera", "CAMERA", "camera of the left image (name, 0-13 or none)"},
    {"right-camera", "CAMERA", "camera of the right image (name, 0-13 or none)"},
    {"2d", "", "intersect in two dimensions, as the dialog's 2D option"},
    {"az-corr", "L,R", "azimuth corrections of the left and right camera in degrees"},
    {"rl-vector", "TEXT", "the dialog's R-L Vector text, which also ticks R-L Vector"},
    {"last-position", "X,Y,Z", "the last point, for the distance to it"},
    kDb,
    {"records", "QUERYFILE", "also read image records from a query export, in memory only"}};

std::vector<OptionHelp> PairOptionsAnd(std::vector<OptionHelp> extra, bool withFrom = true) {
    std::vector<OptionHelp> all = kPairOptions;
    if (!withFrom) {
        std::erase_if(all, [](const OptionHelp& o) { return o.name == "from"; });
    }
    all.insert(all.end(), extra.begin(), extra.end());
    return all;
}

std::vector<CommandHelp> MakeCommands() {
    std::vector<CommandHelp> c;
    c.push_back({
        "decode",
        RunDecode,
        "camera and sol time of a product name",
        {"NAME"},
        "Decodes a product name (a path, file name or title): the folder, name, extension, "
        "title and database key, the camera it was taken with and its sol time.",
        {},
        {"decode 1N128287142EFF0300P1800L0M1.IMG --json"},
    });
    c.push_back({
        "ray",
        RunRay,
        "viewing ray of a pixel",
        {"CAMERA X Y [--record S,QX,QY,QZ,AZ,EL]"},
        "Back-projects pixel X (column) Y (row) through the camera model of CAMERA (a "
        "catalogue name such as OppyNavL, or 0-13) and prints the direction of its ray with "
        "azimuth and elevation in degrees.",
        {{"record", "S,QX,QY,QZ,AZ,EL",
          "pose of the image: rover attitude quaternion (S,QX,QY,QZ) and head azimuth and "
          "elevation in degrees"}},
        {"ray OppyNavL 512 512 --record 1,0,0,0,30,-5 --json"},
    });
    c.push_back({
        "intersect",
        RunIntersect,
        "stereo intersection of two pixels",
        {"LEFT RIGHT XL YL XR YR [--2d] [--az-corr L,R] [--left-record R] [--right-record R] "
         "[--rl-vector X,Y,Z]"},
        "Intersects the rays of the left pixel XL,YL and the right pixel XR,YR through the "
        "cameras LEFT and RIGHT (names or 0-13) and prints the point, its range and whether "
        "the rays cross in front of both cameras.",
        {{"2d", "", "intersect in two dimensions, as the Analyse dialog's 2D option"},
         {"az-corr", "L,R", "azimuth corrections of the left and right camera in degrees"},
         {"left-record", "S,QX,QY,QZ,AZ,EL", "pose of the left image"},
         {"right-record", "S,QX,QY,QZ,AZ,EL", "pose of the right image"},
         {"rl-vector", "X,Y,Z",
          "right rover position minus left, when the two images were taken from different "
          "places (needs both records)"}},
        {"intersect OppyNavL OppyNavR 512 700 480 700 --2d --az-corr 1.5,1.5 --json"},
    });
    c.push_back({
        "db",
        RunDb,
        "image database",
        {"info [--db STORE]", "find NAME [--db STORE]", "import FILE... [--db STORE]",
         "init FILE... [--db STORE]", "update [URL] [--db STORE]", "merge FILE [--db STORE]",
         "reload [--db STORE]", "dump [--db STORE]"},
        "Works on the image pose database store. info prints the number of records; find "
        "prints the record of an image (path, file name or title); import merges query export "
        "files and init rebuilds the store from them; update downloads the update file (from "
        "the built-in address when URL is omitted) and merges it; merge merges a store-format "
        "file; reload reads the store again; dump prints every record as a query export line, "
        "so that init of a dump rebuilds the same store.",
        {kDb},
        {"db info --db samples/ImgBinDat --json", "db dump --db samples/ImgBinDat > export.txt"},
    });
    c.push_back({
        "measure",
        RunMeasure,
        "range calculation of a stereo pair",
        {"--left PATH --right PATH --pixels XL,YL,XR,YR [OPTIONS]",
         "--batch FILE [--log FILE] [--vertices FILE] [--session FILE] [OPTIONS]"},
        "Runs the Analyse dialog's CALCULATE: range, position, distance to the last point, "
        "azimuth, elevation, pixel footprint and the spread of the answer when a click is off "
        "by one pixel. The cameras come from the product names. With --batch, FILE holds one "
        "LEFT,RIGHT,XL,YL,XR,YR per line (blank and # lines skipped; a bad line is reported "
        "and skipped) and the distance to the last point chains from line to line.",
        {{"left", "PATH", "left image"},
         {"right", "PATH", "right image"},
         {"pixels", "XL,YL,XR,YR", "the marked pixels: left column and row, right column and row"},
         {"batch", "FILE", "measure every pair of FILE"},
         {"log", "FILE", "with --batch: write the calculation results as File > Save does"},
         {"vertices", "FILE", "with --batch: write the vertex results as File > Save does"},
         {"session", "FILE",
          "with --batch: write the measurements of the first line's pair as a session"},
         {"click-sigma", "PX",
          "with --session: 1-sigma of each marked pixel for the uncertainty (default 0.5)"},
         {"left-camera", "CAMERA", "camera of the left image (name, 0-13 or none)"},
         {"right-camera", "CAMERA", "camera of the right image (name, 0-13 or none)"},
         {"2d", "", "intersect in two dimensions, as the dialog's 2D option"},
         {"az-corr", "L,R", "azimuth corrections of the left and right camera in degrees"},
         {"rl-vector", "TEXT", "the dialog's R-L Vector text, which also ticks R-L Vector"},
         {"last-position", "X,Y,Z", "the last point, for the distance to it"},
         kDb,
         {"records", "QUERYFILE", "also read image records from a query export, in memory only"}},
        {"measure --db samples/ImgBinDat --left L.png --right R.png --pixels 512,700,480,700 "
         "--json",
         "measure --batch pairs.txt --log results.txt --vertices vertices.txt"},
    });
    c.push_back({
        "export",
        RunExport,
        "the measurements of a session as CSV, PLY or JSON Lines",
        {"SESSION --format csv|ply|jsonl [-o FILE] [--binary] [--recalculate [--db STORE]]"},
        "Reads a session saved by Ranvista or by measure --batch --session and writes its "
        "measurements as saved: csv (a comment line naming the frame, a header naming each "
        "column and its unit), ply (the points, grey from the left image when it can be read; "
        "ASCII, or binary little-endian with --binary) or jsonl (one line each with the fields "
        "of measure --json that the session holds, under the same names: ok, range, position, "
        "distance_to_last (to the session's previous point), azimuth, elevation, log_entry, "
        "half_spread and miss_distance when the session has one; a monoscopic row as ground "
        "--json prints it). Nothing is measured again unless --recalculate is given: then each "
        "measurement is calculated again with the session's database (its pair's cameras built "
        "once), results that changed are said on stderr, and jsonl lines are exactly what "
        "measure --json prints. Without -o the file goes to standard output; with it the file "
        "is written atomically.",
        {{"format", "csv|ply|jsonl", "what to write"},
         {"output", "FILE", "write FILE instead of standard output (also -o FILE)"},
         {"binary", "", "with --format ply: binary little-endian instead of ASCII"},
         {"recalculate", "", "calculate every measurement again instead of writing it as saved"},
         {"db", "STORE", "with --recalculate: the store instead of the session's"},
         {"records", "QUERYFILE",
          "with --recalculate: also read image records from a query export, in memory only"}},
        {"export work.rvsession --format csv -o points.csv",
         "export work.rvsession --format ply --binary -o points.ply"},
    });
    c.push_back({
        "transform",
        RunTransform,
        "register one vertex file onto another",
        {"SOURCE REFERENCE S1 S2 S3 R1 R2 R3"},
        "Moves the vertex file SOURCE into the frame of REFERENCE from three common vertices "
        "(0-based indices counting vertex lines only: S1 S2 S3 in SOURCE match R1 R2 R3 in "
        "REFERENCE) and writes <source folder>/<title>_trnsfrmd.<ext>. Collinear or "
        "coincident triples are refused.",
        {},
        {"transform site2.txt site1.txt 0 1 2 4 7 9 --json"},
    });
    c.push_back({
        "register",
        RunRegister,
        "least-squares registration of one vertex file onto another",
        {"SOURCE REFERENCE [--pairs S:R,...] [--auto] [--tolerance M] [--drop-outliers]"},
        "Moves the vertex file SOURCE into the frame of REFERENCE by the rigid motion that "
        "fits the given vertex pairs best (3 or more, S:R with 0-based indices), or, with "
        "--auto or without pairs, the largest set of pairs one rigid motion explains, and "
        "writes <source folder>/<title>_trnsfrmd.<ext> as transform does. Reports each "
        "pair's residual and the RMS. Too few or collinear pairs, an index past a file's end "
        "and symmetric scenes where two motions fit about equally well are refused.",
        {{"pairs", "S:R,...", "vertex pairs: index in SOURCE, colon, index in REFERENCE"},
         {"auto", "", "find the pairs automatically"},
         {"tolerance", "M",
          "how far apart matched vertices may be (metres; default 3 % of the vertices' median "
          "range, 5 cm to 2 m)"},
         {"drop-outliers", "", "register without given pairs beyond 3 sigma of the rest"}},
        {"register site2.txt site1.txt --pairs 0:4,1:7,2:9,5:11 --json",
         "register site2.txt site1.txt --auto --tolerance 0.2 --json"},
    });
    c.push_back({
        "epipolar",
        RunEpipolar,
        "where the partner of a pixel can lie in the other image",
        {"--left PATH --right PATH --pixel X,Y [--from left|right] [--near M] [OPTIONS]"},
        "Projects the points along the ray of pixel X,Y (of the left image, or of the right "
        "with --from right) from a near limit out to the vanishing point or the image border "
        "into the other image: the epipolar curve, as a polyline within 0.1 pixel of the true "
        "curve, with ticks at 1, 2, 5, 10, 20, 50, 100 ... metres. Cameras and poses as for "
        "measure.",
        PairOptionsAnd({{"pixel", "X,Y", "the pixel (column, row)"},
                        {"near", "M", "the nearest range on the curve (default 0.5 m)"}}),
        {"epipolar --db samples/ImgBinDat --left L.png --right R.png --pixel 512,700 --json"},
    });
    c.push_back({
        "match",
        RunMatch,
        "the partner of a pixel, matched, and its measurement",
        {"--left PATH --right PATH --pixel X,Y [--from left|right] [--window N] [OPTIONS]"},
        "Searches along the epipolar curve of pixel X,Y for the window of the other image that "
        "correlates best (zero-mean normalised cross-correlation), refines it to a fraction of "
        "a pixel, checks that matching back lands on the pixel, and measures the pair as "
        "measure does. Ambiguous, weak and textureless matches are refused with the reason.",
        PairOptionsAnd({{"pixel", "X,Y", "the pixel (column, row)"},
                        {"window", "N", "window side in pixels (default: from the texture)"}}),
        {"match --db samples/ImgBinDat --left L.png --right R.png --pixel 512,700 --json"},
    });
    c.push_back({
        "detect",
        RunDetect,
        "vertex pairs found automatically",
        {"--left PATH --right PATH [--max N] [--rect X,Y,W,H] [OPTIONS]"},
        "Detects up to N well-textured, well-spread corners in the left image (or in the "
        "rectangle), matches each into the right image and prints one JSON line per vertex "
        "pair kept; a summary of how many were found, matched and refused goes to standard "
        "error.",
        PairOptionsAnd({{"max", "N", "at most this many corners (default 200)"},
                        {"rect", "X,Y,W,H", "where in the left image to look"},
                        {"window", "N", "window side in pixels (default: from the texture)"}}),
        {"detect --db samples/ImgBinDat --left L.png --right R.png --max 50 --json"},
    });
    c.push_back({
        "stereo-image",
        RunStereoImage,
        "the pair as a picture for the eyes: anaglyph, cross-eyed or parallel",
        {"--left PATH --right PATH --out FILE.png [--mode anaglyph|cross|parallel] [OPTIONS]"},
        "Rectifies the pair (two linear cameras with one orientation, so that a point's "
        "partner lies on the same row) and writes a red/cyan anaglyph (left in red) or the two "
        "rectified images side by side: cross puts the right image on the left, for "
        "cross-eyed viewing; parallel keeps the order. Cameras and poses as for measure.",
        PairOptionsAnd(
            {{"out", "FILE.png", "the picture to write"},
             {"mode", "anaglyph|cross|parallel", "the kind of picture (default anaglyph)"}},
            false),
        {"stereo-image --db samples/ImgBinDat --left L.png --right R.png --mode anaglyph --out "
         "stereo.png"},
    });
    c.push_back({
        "dense",
        RunDense,
        "a range for every pixel of the left image",
        {"--left PATH --right PATH [--max-range M] [--xyz FILE.tif] [--ply FILE.ply] "
         "[--range-png FILE.png] [OPTIONS]"},
        "Rectifies the pair, matches it densely (semi-global matching with a left-right check, "
        "sub-pixel disparities and a speckle filter), takes every match back to the original "
        "pixels and intersects it through the pair's cameras, as measure does. Prints a "
        "summary: the share of pixels ranged, range percentiles and the time taken. Pixels "
        "without texture along the rows (smooth sky) are left without a range.",
        PairOptionsAnd(
            {{"max-range", "M", "drop points farther than M metres"},
             {"min-range", "M", "the nearest range searched for (default 0.5 m)"},
             {"xyz", "FILE.tif", "x, y, z of each left pixel as a 3-band 32-bit float TIFF"},
             {"ply", "FILE.ply", "the points with grey colour and range sigma"},
             {"ply-format", "binary|ascii", "PLY encoding (default binary)"},
             {"range-png", "FILE.png", "the range map in colour with a legend in metres"},
             {"frame", "rover|site",
              "the frame of the --xyz and --ply points: the pair's output frame (default) or "
              "the left product's site frame"}},
            false),
        {"dense --db samples/ImgBinDat --left L.png --right R.png --ply cloud.ply --json"},
    });
    c.push_back({
        "ground",
        RunGround,
        "range from one image: a pixel's ray met with a plane",
        {"FILE X Y [--plane A,B,C,D | --session S] [--height-sigma M] [OPTIONS]"},
        "Casts the ray of pixel X,Y (column, row) of one image through its camera (the "
        "product's own model, or the catalogue camera of its name with the database record) "
        "and meets it with a plane of the output frame (Z up): the vehicle's ground plane (the "
        "ground under the vehicle frame's origin, level when the product gives the vehicle's "
        "attitude: z = 0 for MSL and Mars 2020, 0.25 m below the origin for MER, 1.2 m for "
        "Phoenix; refused for a vehicle whose ground is not known) unless --plane gives A x + B y "
        "+ C z + D = 0 or --session names a "
        "session whose measured points (three or more, from the same rover position) a plane "
        "is fitted to. Prints range, position, azimuth and elevation as measure does, and the "
        "1-sigma from the pixel's sigma and the plane's height sigma (the ground plane's 0.1 m, "
        "a fitted plane's residuals, a given plane's 0, unless --height-sigma says otherwise). "
        "A pixel above the horizon, a plane behind the camera and a ray meeting the plane at "
        "under 5 degrees are refused with the reason (status 1).",
        {{"plane", "A,B,C,D", "the plane A x + B y + C z + D = 0 (output frame, metres)"},
         {"session", "S", "fit the plane to the measurements of session S"},
         {"height-sigma", "M", "the plane's 1-sigma along its normal in metres"},
         {"click-sigma", "PX", "the pixel's 1-sigma per coordinate (default 0.5)"},
         {"camera", "CAMERA", "catalogue camera of the image (name or 0-13)"},
         {"last-position", "X,Y,Z", "the last point, for the distance to it"},
         kDb,
         {"records", "QUERYFILE", "also read image records from a query export, in memory only"}},
        {"ground NLF_0670_0721924040_000ECM_N0320000NCAM00500_01_295J.png 640 900 --json",
         "ground 1N137057367EFF4000P1916L0M1.png 512 900 --db samples/ImgBinDat --plane "
         "0,0,1,0.3 --json"},
    });
    c.push_back({
        "camera",
        RunCamera,
        "camera model, frame and pose of an image product",
        {"FILE"},
        "Reads the camera model (CAHV, CAHVOR or CAHVORE), its frame and the rover's pose in "
        "its site frame from a PDS3 (.IMG, .LBL), VICAR (.IMG) or PDS4 (.xml) product or a "
        "raw image with its JSON record; for any other image, the catalogue camera its "
        "product name names.",
        {},
        {"camera NLF_0670_0721924040_000ECM_N0320000NCAM00500_01_295J.png --json"},
    });
    return c;
}

} // namespace

const std::vector<CommandHelp>& CliCommands() {
    static const std::vector<CommandHelp> commands = MakeCommands();
    return commands;
}
