function values = status_values(bytes)
% STATUS_VALUES  What linkState returns for a read that ends with BYTES (20
%   or more): a 7x1 double of the last 20 bytes, little-endian, as four
%   16-bit words and three 32-bit angles. An angle above 32767 stands for
%   itself minus 65535; each is scaled to about radians. The test code's one
%   copy of that rule and of the scale.
  f = double(bytes(end - 19:end));
  f = f(:).';
  words = f(1:2:8) + 256 * f(2:2:8);
  angles = double(typecast(uint8(f(9:20)), 'int32'));
  angles(angles > 32767) -= 65535;
  values = [words, angles * 0.017444444].';
end
