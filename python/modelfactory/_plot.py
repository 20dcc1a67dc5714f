"""Chromatogram pictures with matplotlib, drawn like the command-line tool's SVG."""

# Conventional colours, channel order A, C, G, T; anything else is grey.
_COLOURS = {"A": "#14a02c", "C": "#1f49d6", "G": "#111111", "T": "#d7191c"}
_OTHER = "#8a8a8a"
_CONFIDENCE_CAP = 60  # a bar is full from this confidence up


def _clip_range(trace):
    """The clipped ends in sample coordinates: [0, left) and [right, points).

    left_cutoff counts the unwanted bases at the start; right_cutoff is the 1-based first unwanted
    base at the end; 0 means no clip on that side.
    """
    points, bases, pos = trace.num_points, trace.num_bases, trace.base_positions
    left, right = 0.0, float(points)
    if len(pos) < bases or bases == 0:
        return left, right
    first_kept = 0
    if trace.left_cutoff > 0:
        first_kept = min(trace.left_cutoff, bases)
        left = float(points) if first_kept >= bases else (int(pos[first_kept - 1]) + int(pos[first_kept])) / 2
    if 0 < trace.right_cutoff <= bases:
        end_kept = max(trace.right_cutoff - 1, first_kept)
        right = 0.0 if end_kept == 0 else (int(pos[end_kept - 1]) + int(pos[min(end_kept, bases - 1)])) / 2
        right = max(right, left)
    return left, right


def plot_trace(self, ax=None):
    """Draws the chromatogram on `ax` (a new figure's axes when None) and returns the axes.

    The four channels in the conventional colours (A green, C blue, G black, T red), each called
    base as a letter at its peak with its confidence as a bar above it, and the clipped ends shaded
    grey. matplotlib is imported only here.
    """
    import matplotlib.pyplot as plt

    if ax is None:
        _, ax = plt.subplots(figsize=(max(6.0, min(self.num_points / 100.0, 40.0)), 3.5))
    channels = (self.a, self.c, self.g, self.t)
    peak = max(1, max((int(c.max()) for c in channels if len(c)), default=1))
    for base, values in zip("ACGT", channels):
        ax.plot(values, color=_COLOURS[base], linewidth=0.8, label=base)

    letter_y, bar_bottom, bar_height = peak * 1.04, peak * 1.12, peak * 0.25
    confidences = self.confidences
    for index, (base, x) in enumerate(zip(self.bases, self.base_positions)):
        colour = _COLOURS.get(base, _OTHER)
        ax.text(float(x), letter_y, base, color=colour, ha="center", va="bottom",
                fontsize=7, family="monospace")
        if index < len(confidences):
            height = bar_height * min(int(confidences[index]), _CONFIDENCE_CAP) / _CONFIDENCE_CAP
            ax.bar(float(x), height, bottom=bar_bottom, width=4, color="#9ab", linewidth=0)

    left, right = _clip_range(self)
    if left > 0:
        ax.axvspan(0, left, color="grey", alpha=0.2, linewidth=0)
    if right < self.num_points:
        ax.axvspan(right, self.num_points, color="grey", alpha=0.2, linewidth=0)

    ax.set_xlim(0, max(self.num_points, 1))
    ax.set_ylim(0, bar_bottom + bar_height * 1.1)
    ax.set_title("%s (%s, %d bases)" % (self.name, self.format, self.num_bases))
    ax.set_xlabel("sample")
    ax.legend(loc="upper right", fontsize=7, ncol=4, frameon=False)
    return ax
