#pragma once
// The newest database schema this build knows, the same for both engines.
inline constexpr int LatestSchemaVersion = 7;
