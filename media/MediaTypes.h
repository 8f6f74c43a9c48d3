#pragma once

namespace lumira
{
// Registers the video items for QML ("BCQmlRenderView", "XImageView").
void registerMediaTypes();
} // namespace lumira
