#include <system_error>

#include "ostrel/expected.h"

namespace ostrel {

Error Error::fromErrno(int code) { return Error{std::generic_category().message(code), code}; }

Error Error::within(std::string_view context) const {
  return Error{std::string(context) + ": " + description, code, saved};
}

}  // namespace ostrel
