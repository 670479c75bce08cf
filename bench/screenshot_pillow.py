"""The screenshot action as Pillow does it, timed: grab, shrink, PNG (optimize), Base64, latest.png.

Usage: screenshot_pillow.py --repeat N --data-dir DIR   (DISPLAY names the X server)
Prints one JSON object: per-run times of the whole action and of its stages (wall clock, and the
process's CPU time for the whole action), and the PNG size.
"""
import argparse
import base64
import io
import json
import math
import os
import sys
import time

from PIL import Image, ImageGrab

API_MAX_LONG_EDGE = 1568
API_MAX_TOTAL_PIXELS = 1150000


def scale_for(width, height):
    return min(1.0, API_MAX_LONG_EDGE / max(width, height), math.sqrt(API_MAX_TOTAL_PIXELS / (width * height)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--repeat", type=int, default=10)
    parser.add_argument("--data-dir", required=True)
    args = parser.parse_args()
    display = os.environ["DISPLAY"]

    first = ImageGrab.grab(xdisplay=display)
    factor = scale_for(*first.size)
    api = (int(first.size[0] * factor), int(first.size[1] * factor))
    folder = os.path.join(args.data_dir, "screenshots")

    totals, cpus, grabs, resizes, encodes, b64s, saves = [], [], [], [], [], [], []
    size = 0
    for _ in range(args.repeat + 1):  # the first run warms up and is not counted
        c0 = time.process_time()
        t0 = time.perf_counter()
        image = ImageGrab.grab(xdisplay=display)
        t1 = time.perf_counter()
        if factor < 1.0:
            image = image.resize(api, resample=3)
        t2 = time.perf_counter()
        buffer = io.BytesIO()
        image.save(buffer, format="PNG", optimize=True)
        t3 = time.perf_counter()
        text = base64.standard_b64encode(buffer.getvalue()).decode("utf-8")
        t4 = time.perf_counter()
        os.makedirs(folder, exist_ok=True)
        image.save(os.path.join(folder, "latest.png"), format="PNG")
        t5 = time.perf_counter()
        cpus.append(time.process_time() - c0)
        totals.append(t5 - t0)
        grabs.append(t1 - t0)
        resizes.append(t2 - t1)
        encodes.append(t3 - t2)
        b64s.append(t4 - t3)
        saves.append(t5 - t4)
        size = len(buffer.getvalue())
        assert len(text) > 0

    def ms(values):
        return [v * 1e3 for v in values[1:]]

    json.dump({
        "screen": list(first.size), "api": list(api), "png_bytes": size, "runs": args.repeat,
        "total": ms(totals), "total_cpu": ms(cpus), "capture": ms(grabs), "resize": ms(resizes),
        "encode": ms(encodes), "base64": ms(b64s), "save_latest": ms(saves),
        "pillow": Image.__version__,
    }, sys.stdout)
    print()


if __name__ == "__main__":
    main()
