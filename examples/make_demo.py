#!/usr/bin/env python3
"""Writes examples/demo.kvfl, the demo library of `./run.sh --demo`: about forty generic,
unbranded fixtures of the kinds a rental stock holds, from 1 to 45 channels.

Usage: examples/make_demo.py [KVFL-TOOL]   (default: build/bin/kvfl)
The library is written through `kvfl create`, so it is exactly what the editor saves.
"""
import json
import os
import subprocess
import sys

# Fixture type codes as the device knows them.
MOVING_HEAD, SCANNER, LED, COLOR_CHANGER, DIMMER, LASER, STROBE, HAZER, SMOKE, EFFECT, OTHER = range(11)


def rgb(prefix=""):
    return [prefix + c for c in ("Red", "Green", "Blue")]


def pixels(count, colours):
    return ["%s %d" % (c, n) for n in range(1, count + 1) for c in colours]


def spot_16bit(extra):
    return ["Pan", "Pan Fine", "Tilt", "Tilt Fine", "Pan/Tilt Speed", "Dimmer", "Dimmer Fine", "Shutter"] + extra


# (name, manufacturer, type, channels, short name or None, channel short names or {})
FIXTURES = [
    ("Dimmer 1ch", "Generic", DIMMER, ["Intensity"], None, {}),
    ("Dimmer Pack 4ch", "Generic", DIMMER, ["Channel %d" % n for n in range(1, 5)], None, {}),
    ("Dimmer Pack 6ch", "Generic", DIMMER, ["Channel %d" % n for n in range(1, 7)], None, {}),
    ("Dimmer Pack 12ch", "House Rig", DIMMER, ["Channel %d" % n for n in range(1, 13)], "DIM PACK 12", {}),
    ("Fresnel 1kW", "House Rig", DIMMER, ["Intensity"], None, {}),
    ("Profile 750W", "House Rig", DIMMER, ["Intensity"], None, {}),
    ("LED Par RGB 3ch", "Generic", LED, rgb(), None, {}),
    ("LED Par RGB 7ch", "Generic", LED, ["Dimmer"] + rgb() + ["Strobe", "Colour Macro", "Macro Speed"], None, {}),
    ("LED Par RGBW 4ch", "Generic", LED, rgb() + ["White"], None, {}),
    ("LED Par RGBW 8ch", "Generic", LED, ["Dimmer"] + rgb() + ["White", "Strobe", "Program", "Program Speed"],
     None, {}),
    ("LED Par RGBWA+UV 6ch", "Generic", LED, rgb() + ["White", "Amber", "UV"], "PAR RGBWAUV 6", {}),
    ("LED Par RGBWA+UV 10ch", "Generic", LED,
     ["Dimmer"] + rgb() + ["White", "Amber", "UV", "Strobe", "Program", "Program Speed"], "PAR RGBWAUV 10", {}),
    ("LED Flood RGBW 8ch", "Rental Stock", COLOR_CHANGER,
     ["Dimmer"] + rgb() + ["White", "Strobe", "Auto Program", "Speed"], None, {}),
    ("LED Bar 8x RGB 3ch", "Generic", LED, rgb(), None, {}),
    ("LED Bar 8x RGB 24ch", "Generic", LED, pixels(8, ("Red", "Green", "Blue")), "BAR 8 PIXEL",
     {"Red 1": "R1", "Green 1": "G1", "Blue 1": "B1"}),
    ("Pixel Batten 15x RGB", "Rental Stock", LED, pixels(15, ("Red", "Green", "Blue")), "BATTEN 15PX", {}),
    ("Pixel Batten 11x RGBW", "Rental Stock", LED, ["Dimmer"] + pixels(11, ("Red", "Green", "Blue", "White")),
     "BATTEN 11PX RGBW", {}),
    ("Moving Head Spot 11ch", "Generic", MOVING_HEAD,
     ["Pan", "Tilt", "Pan/Tilt Speed", "Dimmer", "Shutter", "Colour Wheel", "Gobo Wheel", "Gobo Rotation", "Prism",
      "Focus", "Control"], None, {"Pan/Tilt Speed": "PT Speed"}),
    ("Moving Head Spot 16bit", "Generic", MOVING_HEAD,
     spot_16bit(["Colour Wheel", "Gobo Wheel", "Gobo Rotation", "Gobo Rotation Fine", "Prism", "Prism Rotation",
                 "Frost", "Focus", "Zoom", "Iris", "Control", "Reset"]), "SPOT 16BIT", {}),
    ("Moving Head Wash RGBW 14ch", "Generic", MOVING_HEAD,
     spot_16bit(rgb() + ["White", "CTO", "Zoom"]), None, {}),
    ("Moving Head Wash Zoom 19x15W", "Rental Stock", MOVING_HEAD,
     spot_16bit(rgb() + ["White", "Colour Temperature", "Colour Macro", "Zoom", "Pixel Effect",
                         "Pixel Effect Speed", "Control"]), "WASH 19X15 ZOOM", {}),
    ("Moving Head Beam 7R", "Rental Stock", MOVING_HEAD,
     spot_16bit(["Colour Wheel", "Gobo Wheel", "Prism 1", "Prism 1 Rotation", "Prism 2", "Frost", "Focus",
                 "Control"]), "BEAM 7R", {}),
    ("Moving Head Profile 36ch", "Rental Stock", MOVING_HEAD,
     spot_16bit(["Cyan", "Magenta", "Yellow", "CTO", "Colour Wheel", "Colour Wheel Fine", "Rotating Gobo",
                 "Gobo Index", "Gobo Index Fine", "Static Gobo", "Animation Wheel", "Animation Rotation",
                 "Prism", "Prism Rotation", "Iris", "Frost 1", "Frost 2", "Zoom", "Zoom Fine", "Focus",
                 "Focus Fine", "Blade 1", "Blade 2", "Blade Rotation", "Control", "Reset", "Lamp", "Fan"][:28]),
     "PROFILE 36", {}),
    ("Mini Moving Head RGBW", "Generic", MOVING_HEAD,
     ["Pan", "Tilt", "Dimmer"] + rgb() + ["White", "Strobe", "Speed"], None, {}),
    ("Scanner 6ch", "Generic", SCANNER, ["Pan", "Tilt", "Colour", "Gobo", "Shutter", "Dimmer"], None, {}),
    ("Scanner 16bit", "Generic", SCANNER,
     ["Pan", "Pan Fine", "Tilt", "Tilt Fine", "Colour", "Gobo", "Gobo Rotation", "Shutter", "Dimmer", "Focus",
      "Speed", "Control"], None, {}),
    ("Strobe 2ch", "Generic", STROBE, ["Intensity", "Rate"], None, {}),
    ("LED Strobe 4ch", "Generic", STROBE, ["Intensity", "Duration", "Rate", "Effect"], None, {}),
    ("LED Strobe RGB 10ch", "Rental Stock", STROBE,
     ["Intensity", "Duration", "Rate", "Effect"] + rgb() + ["Background Dimmer", "Effect Speed", "Control"],
     "STROBE RGB", {}),
    ("Blinder 2x100W", "Generic", OTHER, ["Cell 1", "Cell 2"], None, {}),
    ("Blinder 4x100W", "Generic", OTHER, ["Cell 1", "Cell 2", "Cell 3", "Cell 4"], None, {}),
    ("Hazer", "Generic", HAZER, ["Output", "Fan"], None, {}),
    ("Fog Machine", "Generic", SMOKE, ["Output"], None, {}),
    ("Low Fog", "Rental Stock", SMOKE, ["Output", "Fan", "Cooling"], None, {}),
    ("UV Bar", "Generic", EFFECT, ["Intensity"], None, {}),
    ("Mirror Ball Motor", "House Rig", EFFECT, ["Speed"], None, {}),
    ("Laser RGB 7ch", "Generic", LASER,
     ["Mode", "Pattern", "Size", "Rotation", "Pan Movement", "Tilt Movement", "Colour"], None, {}),
    ("Followspot LED", "House Rig", OTHER, ["Dimmer", "Iris", "Colour", "Frost"], None, {}),
    ("Pixel Matrix 15x RGB", "Rental Stock", LED, pixels(15, ("Red", "Green", "Blue")), "MATRIX 15PX", {}),
    ("Colour Changer Scroller", "House Rig", COLOR_CHANGER, ["Frame", "Speed"], None, {}),
]


def definition(name, manufacturer, code, channels, short_name, channel_shorts):
    assert 1 <= len(channels) <= 45, name
    return {
        "name": name,
        "shortName": short_name or "",
        "autoShortName": short_name is None,
        "manufacturer": manufacturer,
        "manufacturerShort": "",
        "autoManufacturerShort": True,
        "type": code,
        "channels": [
            {"number": n + 1, "name": channel, "shortName": channel_shorts.get(channel, ""),
             "autoShortName": channel not in channel_shorts}
            for n, channel in enumerate(channels)
        ],
    }


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    tool = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "build", "bin", "kvfl")
    library = {"definitions": [definition(*fixture) for fixture in FIXTURES]}
    target = os.path.join(here, "demo.kvfl")
    if os.path.exists(target):
        os.remove(target)
    subprocess.run([tool, "create", target], input=json.dumps(library).encode(), check=True)
    print("%s: %d definitions" % (target, len(FIXTURES)))


if __name__ == "__main__":
    main()
