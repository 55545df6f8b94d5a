function bytes = status_fields(v)
% STATUS_FIELDS  The 20 bytes that end the status frame the simulator logged
%   as "frame SEQ V" (V: four words, three angles), as it sends them:
%   little-endian, a negative angle as itself plus 65535.
  angles = v(5:7);
  angles(angles < 0) += 65535;
  bytes = uint8([little_endian(v(1:4), 2), little_endian(angles, 4)]);
end

function bytes = little_endian(x, n)
  bytes = reshape(mod(floor(x(:) ./ 256 .^ (0:n - 1)), 256).', 1, []);
end
