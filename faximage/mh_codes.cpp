#include "faximage/mh_codes.h"

namespace faximage {

std::string_view to_string(RunColor color) {
    switch (color) {
    case RunColor::White:
        return "white";
    case RunColor::Black:
        return "black";
    }
    return "?";
}

} // namespace faximage
