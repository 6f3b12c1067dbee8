"""The program's console texts, composed the way a run prints them."""

BANNER = (
    "\n\n\t**************************************************************"
    "\n\t*                                                            *"
    "\n\t*                      NADIR_SPOT                            *"
    "\n\t*                                                            *"
    "\n\t*                                                            *"
    "\n\t*                                                            *"
    "\n\t*                                                            *"
    "\n\t*                          by the nadir_spot developers      *"
    "\n\t*                               version of December 2026     *"
    "\n\t*                                                            *"
    "\n\t**************************************************************"
    "\n\n\tThis program researches a value in a Digital Elevation Model \n")
FOLDER = "\n\n\tName of the File Folder located in the Directory C:images ? "
MODEL = "\n\n\tName of Digital Elevation Model [DEM] (without any extension) ? "
FORMAT = "\n\n\tFormat Type :\n\t\t0 ====> ascii\n\t\t1 ====> raster\n\t\t"
DEPTH = "\n\ttype of DEM raster :\n\t\t0 ====> 16 bits\n\t\t1 ====> 32 bits\n\t\t"
LINES = "\n\tNumber of lines   ? "
COLUMNS = "\n\tNumber of columns ? "
PIXEL = "\n\tPixel size (decimal value in meters) ? "
PIXEL_AGAIN = "\n\n\tPixel Size (decimal value in meters) ? "
UNIT = ("\n\n\tAre these values\n\t\t0 ====> in meters"
        "\n\t\t1 ====> in decimeters\n\t\t2 ====> in centimeters"
        "\n\t\t3 ====> in millimeters" "\n\t\t")
LOCATE = "\n\n\tDo you want to locate these pixels ? "
YES_NO = "\n\n\t\t0 ====> yes\n\t\t1 ====> no\n\t\t"
NOT_ANY = "\n\n\tNot any treatment "
IMAGE_NAME = "\n\n\tName of this image (without .bmp extension) ? "
SAVE = ("\n\n\tResulting File created"
        "\n\n\tNote : the program saves the result as a bitmap image " + IMAGE_NAME)
NOT_A_WHOLE_NUMBER = "\n\tA whole number is expected here.\n"
NOT_A_NUMBER = "\n\tA number is expected here.\n"
END_OF_INPUT = "\n\n\tEnd of input: no answer to the question above.\n"
TOO_LONG = "\n\tThis name is too long: the path would be longer than 127 characters.\n"


def base(folder="F", model="M"):
    return BANNER + FOLDER + MODEL + FORMAT


def unknown(path):
    return "\n File %s unknown\n" % path


def no_file(path):
    return "\n No File %s \n\n" % path


def frusmatrice(lines):
    return "\n NbLig en frusmatrice %d " % lines


def dynamic(lo, hi):
    return "\n\n\tHypsometric dynamic scale:\n\t\tMin = %d\n\t\tMax = %d " % (lo, hi)


def summary(lines, cols):
    return "\n\n\tTHE DEM HAS :  \n            %d LINES\n        AND %d COLUMNS\n" % (lines, cols)


def treatment(lo, hi, count, left_out=0):
    return ("\n\n\tTreatment\n\n"
            "\n\n\tAltitude value of the original DEM : "
            "\n\t\tMin = %.6f   Max. = %.6f " % (lo, hi) +
            ("\n\n\tnumber of no-data pixels left out = %d " % left_out if left_out else "") +
            "\n\n\tnumber of pixels with min value = %d " % count + LOCATE + YES_NO)


def located(pixels, count):
    """What follows a saved mask: pixels are (line, column) for a raw raster,
    (line, column, x, y) for a grid, the first ten in scan order."""
    if not count:
        return ""
    text = "\n\n\tPixels at the min value (line and column from 0 at the top left) :"
    for p in pixels[:10]:
        text += "\n\t\tline %d   column %d" % p[:2]
        if len(p) == 4:
            text += "   x = %.6f   y = %.6f" % p[2:]
    if count > 10:
        text += "\n\t\t... and %d more, all in the mask" % (count - 10)
    return text + "\n"


def progress(line):
    """The grid reader's progress, every hundred lines, over itself."""
    return "\tline %d                   \r" % line


# The stops and warnings (nadir_spot/messages.h), as a run prints them.

def impossible_size(source, lines, cols):
    """source: "by the descriptor" or "in the answers"."""
    return "\n\n\tThe model size given %s is impossible: %d lines and %d columns.\n" % (source, lines, cols)


def descriptor_ends(path, what):
    return "\n\n\tThe descriptor %s ends before the number of %s.\n" % (path, what)


def descriptor_holds(path, shown, what="a whole number"):
    return "\n\n\tThe descriptor %s holds \"%s\" where %s is expected.\n" % (path, shown, what)


def descriptor_uncreatable(path):
    return "\n\tWarning: the descriptor %s cannot be created; the model is read without it.\n" % path


def bad_dimensions(lines, cols):
    return "\n\n\tThe model cannot have %d lines and %d columns.\n" % (lines, cols)


def raster_short(lines, cols, size, need, held):
    return ("\n\n\tThe raster file is too short: %d lines of %d samples of %d bytes need %d bytes, "
            "the file holds %d.\n" % (lines, cols, size, need, held))


def grid_too_big(lines, cols, left):
    return ("\n\n\tThe grid header announces %d lines and %d columns: more values than the %d bytes "
            "left in the file can hold.\n" % (lines, cols, left))


def grid_bad_value(line, col, shown):
    return "\n\n\tGrid line %d, column %d: \"%s\" is not a number.\n" % (line, col, shown)


def grid_ends(line, col):
    return "\n\n\tGrid line %d, column %d: the file ends before this value.\n" % (line, col)


def grid_bad_header(entry, kind, shown):
    return "\n\n\tGrid header: the value of %s is not %s: \"%s\".\n" % (entry, kind, shown)


def grid_header_ends(entry):
    return "\n\n\tGrid header: the file ends before the value of %s.\n" % entry


def no_memory(lines, cols):
    return "\n\n\tNot enough memory for a model of %d lines and %d columns.\n" % (lines, cols)


def image_unwritten(path):
    return "\n\n\tThe image %s cannot be written.\n" % path


def world_file_unwritten(path):
    return "\n\tWarning: the world file %s cannot be written; the mask is saved without it.\n" % path


def world_file_kept(path):
    return ("\n\tWarning: the world file %s cannot be written; the older one is left as it was and places "
            "the mask as it placed the older image.\n" % path)


def world_file_foreign(path):
    return "\n\tWarning: the world file %s was not written for this model and may place the mask wrongly.\n" % path


OUTPUT_FAILED = "Standard output could not be written: the run's results are lost.\n"
