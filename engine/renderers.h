#pragma once

// The renderers of our pages, held to what Chromium-based browsers do: one
// that stops answering is ended, none outlives the page it served, and one
// that never comes up is counted (platform::RendererStarts), as a zygote
// that no longer forks cannot be mended inside the process.

#include <QString>

class QWebEnginePage;

namespace engine {

// Ends the page's renderer now: it no longer answers. Logged with the
// page's address. False when it had none (or it had ended already).
bool endRenderer(QWebEnginePage* page, const QString& why);

// Call before the page is deleted: a renderer still there some seconds
// later that serves no page of ours is ended (a spinning script never lets
// it see that its page went).
void endRendererLeftBy(QWebEnginePage* page);

// Counts the page's renderers that come up and those that never do.
void followRendererStarts(QWebEnginePage* page);

// How long a renderer may take to come up before a load counts it as one
// that will not (a stopped zygote never answers at all).
constexpr int RendererStartLimitMs = 15000;
// Seconds a dropped page's renderer has to end by itself.
constexpr int LeftRendererGraceMs = 4000;

} // namespace engine
