#pragma once
// Included first by every binding file: pybind11, the argument converters, the error
// boundary, borrow flags and docstring helpers, so all bindings convert and raise alike.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "python/support/args.hpp"
#include "python/support/borrow.hpp"
#include "python/support/errors.hpp"
#include "utils/format.hpp"

namespace py = pybind11;
