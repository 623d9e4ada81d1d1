#pragma once
// The device's enumerations in GL's terms (internal to platform/d3d9). Each table lists every
// value it knows. A value it does not list is said in the log (once per table and value, with
// what it stands for instead) and stands for the table's stated default, so a state set to
// something GL cannot do shows up in words instead of as a picture drawn some other way.
#include <epoxy/gl.h>

#include <cstddef>
#include <cstdint>

#include "platform/d3d9/d3d9types.h"

struct GLEnumEntry {
  DWORD from;
  GLenum to;
};

struct GLEnumTable {
  const char* what;  // how the log names the value: "compare function", ...
  const GLEnumEntry* entries;
  size_t count;
  GLenum unlisted;  // what a value missing from the table stands for
};

extern const GLEnumTable kGLCompareFunctions;
extern const GLEnumTable kGLBlendFactors;
extern const GLEnumTable kGLBlendOps;
extern const GLEnumTable kGLStencilOps;
extern const GLEnumTable kGLAddressModes;
extern const GLEnumTable kGLFillModes;
extern const GLEnumTable kGLPrimitiveModes;

// The GL value of `value`; the table's `unlisted` value, reported, for a value it does not list.
GLenum glValueOf(const GLEnumTable& table, DWORD value);
// How many lookups so far met a value their table does not list.
uint64_t unlistedGLValueCount();

// Back-buffer and texture formats that carry an alpha channel of their own.
bool formatHasAlphaChannel(D3DFORMAT format);
// 0xAARRGGBB as four floats in GL's order (red, green, blue, alpha), each 0..1.
void colourToFloats(D3DCOLOR c, float out[4]);
