function fig = png_figure(fig, file)
% PNG_FIGURE  A hidden figure written as a PNG of a set size, in MATLAB and
%   in Octave; the one place where the examples' code differs by host.
%   fig = png_figure([width height]) opens it (size in pixels),
%   png_figure(fig, file) writes it and closes it.
  isOctave = exist('OCTAVE_VERSION', 'builtin') ~= 0;
  if nargin < 2
    pixels = fig;
    if isOctave
      % Without a display Octave draws with gnuplot; its notices are not ours.
      state = warning('off', 'all');
      fig = figure('Visible', 'off', 'UserData', pixels, '__graphics_toolkit__', 'gnuplot');
      warning(state);
    else
      % Printed at 150 dpi from this paper size: the PNG's pixels, with text
      % as large against the plot as gnuplot draws it in Octave.
      fig = figure('Visible', 'off', 'Color', 'w', 'UserData', pixels, ...
                   'PaperUnits', 'inches', 'PaperPosition', [0 0 pixels / 150]);
    end
    return;
  end
  if isOctave
    % gnuplot's cairo terminal takes the size in pixels; Octave's plain PNG
    % device would need Ghostscript.
    state = warning('off', 'all');
    print(fig, file, '-dpngcairo', sprintf('-S%d,%d', get(fig, 'UserData')));
    warning(state);
  else
    print(fig, file, '-dpng', '-r150');
  end
  close(fig);
end
