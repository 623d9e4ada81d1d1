#include <SDL.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/d3d9/gl_enums.h"

namespace {

// Collects what the device says in the log while it lives.
class LogCapture {
 public:
  LogCapture() {
    SDL_LogGetOutputFunction(&previous_, &previousData_);
    SDL_LogSetOutputFunction(
        [](void* self, int, SDL_LogPriority, const char* message) {
          static_cast<LogCapture*>(self)->lines.emplace_back(message ? message : "");
        },
        this);
  }
  ~LogCapture() { SDL_LogSetOutputFunction(previous_, previousData_); }
  std::vector<std::string> lines;

 private:
  SDL_LogOutputFunction previous_ = nullptr;
  void* previousData_ = nullptr;
};

struct TableCase {
  const GLEnumTable* table;
  std::vector<std::pair<DWORD, GLenum>> listed;
  GLenum unlisted;
};

TEST(GLEnumTables, TranslateEveryListedValueAndReportAnyOtherOnceWithItsStandIn) {
  const TableCase cases[] = {
      {&kGLCompareFunctions,
       {{D3DCMP_NEVER, GL_NEVER},
        {D3DCMP_LESS, GL_LESS},
        {D3DCMP_EQUAL, GL_EQUAL},
        {D3DCMP_LESSEQUAL, GL_LEQUAL},
        {D3DCMP_GREATER, GL_GREATER},
        {D3DCMP_NOTEQUAL, GL_NOTEQUAL},
        {D3DCMP_GREATEREQUAL, GL_GEQUAL},
        {D3DCMP_ALWAYS, GL_ALWAYS}},
       GL_ALWAYS},
      {&kGLBlendFactors,
       {{D3DBLEND_ZERO, GL_ZERO},
        {D3DBLEND_ONE, GL_ONE},
        {D3DBLEND_SRCALPHA, GL_SRC_ALPHA},
        {D3DBLEND_INVSRCALPHA, GL_ONE_MINUS_SRC_ALPHA},
        {D3DBLEND_DESTCOLOR, GL_DST_COLOR},
        {D3DBLEND_SRCALPHASAT, GL_SRC_ALPHA_SATURATE},
        {D3DBLEND_BLENDFACTOR, GL_CONSTANT_COLOR},
        {D3DBLEND_INVBLENDFACTOR, GL_ONE_MINUS_CONSTANT_COLOR}},
       GL_ONE},
      {&kGLBlendOps,
       {{D3DBLENDOP_ADD, GL_FUNC_ADD},
        {D3DBLENDOP_SUBTRACT, GL_FUNC_SUBTRACT},
        {D3DBLENDOP_REVSUBTRACT, GL_FUNC_REVERSE_SUBTRACT},
        {D3DBLENDOP_MIN, GL_MIN},
        {D3DBLENDOP_MAX, GL_MAX}},
       GL_FUNC_ADD},
      // Saturating and wrapping steps are easy to swap: GL's plain INCR is the saturating one.
      {&kGLStencilOps,
       {{D3DSTENCILOP_KEEP, GL_KEEP},
        {D3DSTENCILOP_ZERO, GL_ZERO},
        {D3DSTENCILOP_REPLACE, GL_REPLACE},
        {D3DSTENCILOP_INCRSAT, GL_INCR},
        {D3DSTENCILOP_DECRSAT, GL_DECR},
        {D3DSTENCILOP_INVERT, GL_INVERT},
        {D3DSTENCILOP_INCR, GL_INCR_WRAP},
        {D3DSTENCILOP_DECR, GL_DECR_WRAP}},
       GL_KEEP},
      {&kGLAddressModes,
       {{D3DTADDRESS_WRAP, GL_REPEAT},
        {D3DTADDRESS_MIRROR, GL_MIRRORED_REPEAT},
        {D3DTADDRESS_CLAMP, GL_CLAMP_TO_EDGE},
        {D3DTADDRESS_BORDER, GL_CLAMP_TO_BORDER},
        {D3DTADDRESS_MIRRORONCE, GL_MIRRORED_REPEAT}},
       GL_REPEAT},
      {&kGLFillModes, {{D3DFILL_POINT, GL_POINT}, {D3DFILL_WIREFRAME, GL_LINE}, {D3DFILL_SOLID, GL_FILL}}, GL_FILL},
      {&kGLPrimitiveModes,
       {{D3DPT_POINTLIST, GL_POINTS},
        {D3DPT_LINELIST, GL_LINES},
        {D3DPT_LINESTRIP, GL_LINE_STRIP},
        {D3DPT_TRIANGLELIST, GL_TRIANGLES},
        {D3DPT_TRIANGLESTRIP, GL_TRIANGLE_STRIP},
        {D3DPT_TRIANGLEFAN, GL_TRIANGLE_FAN}},
       GL_TRIANGLES},
  };
  for (const TableCase& c : cases) {
    SCOPED_TRACE(c.table->what);
    LogCapture log;
    const uint64_t before = unlistedGLValueCount();
    for (const auto& [from, to] : c.listed) EXPECT_EQ(glValueOf(*c.table, from), to) << "value " << from;
    EXPECT_EQ(unlistedGLValueCount(), before) << "a listed value is never reported";
    EXPECT_TRUE(log.lines.empty());

    // 0 is the value an uninitialised state reads; the others are plainly out of range.
    const DWORD unknown[] = {0u, 99u, 0xFFFFFFFFu};
    for (int round = 0; round < 2; ++round)
      for (DWORD value : unknown) EXPECT_EQ(glValueOf(*c.table, value), c.unlisted) << "value " << value;
    EXPECT_EQ(unlistedGLValueCount(), before + 6) << "every lookup of an unlisted value counts";
    ASSERT_EQ(log.lines.size(), 3u) << "the log names each unlisted value once, not once a draw";
    EXPECT_NE(log.lines[1].find(c.table->what), std::string::npos) << log.lines[1];
    EXPECT_NE(log.lines[1].find("99"), std::string::npos) << log.lines[1];
  }
}

}  // namespace
