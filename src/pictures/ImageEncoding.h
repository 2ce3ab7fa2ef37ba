#pragma once

// The encodings the program writes.
enum class ImageEncoding { None, JPEG, PNG, TIFF, WebP, AVIF };
