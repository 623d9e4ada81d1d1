#pragma once
// The smaller levels of a texture, made from its full-size picture. Each level halves the one
// above (a side of 1 stays 1). The box filter averages the area each texel covers, so odd sides
// share their middle texel fairly; the triangle filter weighs a wider tent and leaves less
// shimmer on fine regular patterns; point and none pick one texel. Colours are averaged by
// their alpha, so the transparent black of a colour key does not darken the edges it borders.
#include <vector>

#include "platform/d3d9/d3d9types.h"

// The level below one of sw x sh texels; dw and dh receive its size.
std::vector<D3DCOLOR> nextMipLevel(const std::vector<D3DCOLOR>& src, UINT sw, UINT sh, UINT& dw, UINT& dh,
                                   DWORD filter);

// How many levels a full chain of a w x h texture has.
UINT fullMipCount(UINT w, UINT h);
