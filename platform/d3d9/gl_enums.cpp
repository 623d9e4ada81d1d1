#include "platform/d3d9/gl_enums.h"

#include <SDL.h>

#include <iterator>
#include <mutex>
#include <set>
#include <utility>

namespace {

constexpr GLEnumEntry kCompare[] = {
    {D3DCMP_NEVER, GL_NEVER},         {D3DCMP_LESS, GL_LESS},       {D3DCMP_EQUAL, GL_EQUAL},
    {D3DCMP_LESSEQUAL, GL_LEQUAL},    {D3DCMP_GREATER, GL_GREATER}, {D3DCMP_NOTEQUAL, GL_NOTEQUAL},
    {D3DCMP_GREATEREQUAL, GL_GEQUAL}, {D3DCMP_ALWAYS, GL_ALWAYS},
};

// The two "both" factors set source and destination at once; the render-state code handles
// them before it looks a single factor up.
constexpr GLEnumEntry kBlend[] = {
    {D3DBLEND_ZERO, GL_ZERO},
    {D3DBLEND_ONE, GL_ONE},
    {D3DBLEND_SRCCOLOR, GL_SRC_COLOR},
    {D3DBLEND_INVSRCCOLOR, GL_ONE_MINUS_SRC_COLOR},
    {D3DBLEND_SRCALPHA, GL_SRC_ALPHA},
    {D3DBLEND_INVSRCALPHA, GL_ONE_MINUS_SRC_ALPHA},
    {D3DBLEND_DESTALPHA, GL_DST_ALPHA},
    {D3DBLEND_INVDESTALPHA, GL_ONE_MINUS_DST_ALPHA},
    {D3DBLEND_DESTCOLOR, GL_DST_COLOR},
    {D3DBLEND_INVDESTCOLOR, GL_ONE_MINUS_DST_COLOR},
    {D3DBLEND_SRCALPHASAT, GL_SRC_ALPHA_SATURATE},
    {D3DBLEND_BLENDFACTOR, GL_CONSTANT_COLOR},
    {D3DBLEND_INVBLENDFACTOR, GL_ONE_MINUS_CONSTANT_COLOR},
};

constexpr GLEnumEntry kBlendOp[] = {
    {D3DBLENDOP_ADD, GL_FUNC_ADD},
    {D3DBLENDOP_SUBTRACT, GL_FUNC_SUBTRACT},
    {D3DBLENDOP_REVSUBTRACT, GL_FUNC_REVERSE_SUBTRACT},
    {D3DBLENDOP_MIN, GL_MIN},
    {D3DBLENDOP_MAX, GL_MAX},
};

constexpr GLEnumEntry kStencilOp[] = {
    {D3DSTENCILOP_KEEP, GL_KEEP},      {D3DSTENCILOP_ZERO, GL_ZERO},      {D3DSTENCILOP_REPLACE, GL_REPLACE},
    {D3DSTENCILOP_INCRSAT, GL_INCR},   {D3DSTENCILOP_DECRSAT, GL_DECR},   {D3DSTENCILOP_INVERT, GL_INVERT},
    {D3DSTENCILOP_INCR, GL_INCR_WRAP}, {D3DSTENCILOP_DECR, GL_DECR_WRAP},
};

// GL has no mirror-once without an extension; mirroring every repeat looks the same inside
// the -1..1 range the mode is meant for.
constexpr GLEnumEntry kAddress[] = {
    {D3DTADDRESS_WRAP, GL_REPEAT},
    {D3DTADDRESS_MIRROR, GL_MIRRORED_REPEAT},
    {D3DTADDRESS_CLAMP, GL_CLAMP_TO_EDGE},
    {D3DTADDRESS_BORDER, GL_CLAMP_TO_BORDER},
    {D3DTADDRESS_MIRRORONCE, GL_MIRRORED_REPEAT},
};

constexpr GLEnumEntry kFill[] = {
    {D3DFILL_POINT, GL_POINT},
    {D3DFILL_WIREFRAME, GL_LINE},
    {D3DFILL_SOLID, GL_FILL},
};

constexpr GLEnumEntry kPrimitive[] = {
    {D3DPT_POINTLIST, GL_POINTS},
    {D3DPT_LINELIST, GL_LINES},
    {D3DPT_LINESTRIP, GL_LINE_STRIP},
    {D3DPT_TRIANGLELIST, GL_TRIANGLES},
    {D3DPT_TRIANGLESTRIP, GL_TRIANGLE_STRIP},
    {D3DPT_TRIANGLEFAN, GL_TRIANGLE_FAN},
};

std::mutex gUnlistedMutex;
uint64_t gUnlistedCount = 0;
std::set<std::pair<const GLEnumTable*, DWORD>> gReported;

GLenum unlisted(const GLEnumTable& table, DWORD value) {
  std::lock_guard<std::mutex> lock(gUnlistedMutex);
  ++gUnlistedCount;
  // A state is looked up on every draw that uses it: one line per value keeps the log readable.
  if (gReported.emplace(&table, value).second)
    SDL_Log("GL device: %s %u has no GL counterpart; drawn as GL 0x%04X instead", table.what,
            static_cast<unsigned>(value), static_cast<unsigned>(table.unlisted));
  return table.unlisted;
}

}  // namespace

const GLEnumTable kGLCompareFunctions{"compare function", kCompare, std::size(kCompare), GL_ALWAYS};
const GLEnumTable kGLBlendFactors{"blend factor", kBlend, std::size(kBlend), GL_ONE};
const GLEnumTable kGLBlendOps{"blend operation", kBlendOp, std::size(kBlendOp), GL_FUNC_ADD};
const GLEnumTable kGLStencilOps{"stencil operation", kStencilOp, std::size(kStencilOp), GL_KEEP};
const GLEnumTable kGLAddressModes{"texture address mode", kAddress, std::size(kAddress), GL_REPEAT};
const GLEnumTable kGLFillModes{"fill mode", kFill, std::size(kFill), GL_FILL};
const GLEnumTable kGLPrimitiveModes{"primitive type", kPrimitive, std::size(kPrimitive), GL_TRIANGLES};

GLenum glValueOf(const GLEnumTable& table, DWORD value) {
  for (size_t i = 0; i < table.count; ++i)
    if (table.entries[i].from == value) return table.entries[i].to;
  return unlisted(table, value);
}

uint64_t unlistedGLValueCount() {
  std::lock_guard<std::mutex> lock(gUnlistedMutex);
  return gUnlistedCount;
}

bool formatHasAlphaChannel(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_A8L8:
    case D3DFMT_A8:
    case D3DFMT_A2R10G10B10: return true;
    default: return false;
  }
}

void colourToFloats(D3DCOLOR c, float out[4]) {
  out[0] = static_cast<float>((c >> 16) & 0xFF) / 255.0f;
  out[1] = static_cast<float>((c >> 8) & 0xFF) / 255.0f;
  out[2] = static_cast<float>(c & 0xFF) / 255.0f;
  out[3] = static_cast<float>(c >> 24) / 255.0f;
}
