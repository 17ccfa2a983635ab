#pragma once

#include "zov/DockTile.h"

#include <memory>
#include <string>

namespace zov::dock {

// A tile that shows itself as a PNG file: every display writes the tile's current appearance to
// the output file and prints "displayed FILE" on standard output.
class PngDockTile final : public DockTile {
public:
    PngDockTile(int width, int height, Image applicationIcon, std::string output);

    Size size() const override;
    void setContentView(std::shared_ptr<const ImageView> view) override;
    void display() override;

private:
    int width;
    int height;
    Image applicationIcon;
    std::string output;
    std::shared_ptr<const ImageView> contentView;
};

} // namespace zov::dock
