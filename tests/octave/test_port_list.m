% linkPorts against a folder laid out like / (dev/ with its by-id links,
% sys/ as the kernel reports the ports), then against the real one. The
% plug-ins list ports as the kernel code they were built with does:
% MEXLINK_KERNEL names it (linux, the default, or generic).
%!function fid = fopen_or_fail(file, text)
%!  fid = fopen(file, 'w');
%!  assert(fid >= 0, file);
%!  fputs(fid, text);
%!endfunction

%!function make_tree(root)
%!  % The folder laid out like /.
%!  put = @(path, text) fclose(fopen_or_fail(fullfile(root, path), text));
%!  for folder = {'dev/serial/by-id', 'dev/ttyUSB3', 'sys/devices/usb1/1-1/1-1:1.0/ttyUSB0', ...
%!                'sys/devices/usb1/1-2/1-2:1.0', 'sys/class/tty/ttyUSB0', 'sys/class/tty/ttyACM0', ...
%!                'sys/class/tty/rfcomm0', 'sys/class/tty/ttyS0', 'sys/class/tty/ttyS1'}
%!    assert(mkdir(fullfile(root, folder{1})));
%!  end
%!  % Ports, files that are none (a console, a name without a number, a
%!  % folder), and the calling-out and dial-in devices other kernels have.
%!  for name = {'ttyUSB0', 'ttyUSB2', 'ttyUSB10', 'ttyACM0', 'rfcomm0', 'ttyS0', 'ttyS1', 'tty1', 'ttyUSB', ...
%!              'ttyACM0x', 'null', 'cu.usbserial-A600', 'cu.Bluetooth-Incoming-Port', 'tty.usbserial-A600'}
%!    put(['dev/' name{1}], '');
%!  end
%!  symlink('../../ttyUSB0', fullfile(root, 'dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A600XYZ-if00-port0'));
%!  symlink('../../ttyACM0', fullfile(root, 'dev/serial/by-id/usb-Arduino_Uno_75830-if00'));
%!  % A USB serial adapter's port two levels under its USB device, a board's
%!  % one level under; each the target of its tty's "device" link.
%!  usb = 'sys/devices/usb1/';
%!  put([usb '1-1/idVendor'], "0403\n");
%!  put([usb '1-1/idProduct'], "6001\n");
%!  put([usb '1-1/manufacturer'], "FTDI\n");
%!  put([usb '1-1/product'], "FT232R USB UART\n");
%!  put([usb '1-2/idVendor'], "2341\n");
%!  put([usb '1-2/idProduct'], "0043\n");
%!  put([usb '1-2/product'], "Arduino Uno\n");
%!  symlink('../../../devices/usb1/1-1/1-1:1.0/ttyUSB0', fullfile(root, 'sys/class/tty/ttyUSB0/device'));
%!  symlink('../../../devices/usb1/1-2/1-2:1.0', fullfile(root, 'sys/class/tty/ttyACM0/device'));
%!  put('sys/class/tty/rfcomm0/address', "00:11:22:33:44:55\n");
%!  put('sys/class/tty/rfcomm0/channel', "1\n");
%!  % The 8250 driver's ttyS0 with no UART behind it (type 0), and a 16550A.
%!  put('sys/class/tty/ttyS0/type', "0\n");
%!  put('sys/class/tty/ttyS1/type', "4\n");
%!endfunction

%!function [names, descriptions] = expected(root, kernel)
%!  if strcmp(kernel, 'generic')
%!    names = {'cu.Bluetooth-Incoming-Port'; 'cu.usbserial-A600'};
%!    descriptions = {''; ''};
%!  else
%!    names = {'rfcomm0'; 'ttyACM0'; 'ttyS1'; 'ttyUSB0'; 'ttyUSB2'; 'ttyUSB10'};
%!    descriptions = {'Bluetooth 00:11:22:33:44:55 channel 1'; ...
%!                    'USB 2341:0043, Arduino Uno, by-id usb-Arduino_Uno_75830-if00'; 'UART'; ...
%!                    'USB 0403:6001, FTDI, FT232R USB UART, by-id usb-FTDI_FT232R_USB_UART_A600XYZ-if00-port0'; ...
%!                    ''; ''};
%!  end
%!  names = strcat([root '/dev/'], names);
%!endfunction

%!shared root, kernel, remove
%! kernel = getenv('MEXLINK_KERNEL');
%! if isempty(kernel), kernel = 'linux'; end
%! root = tempname();
%! remove = onCleanup(@() system(['rm -rf ' root]));
%! make_tree(root);

%!test
%! % The ports in order, numbers by value, with what the kernel says of each,
%! % as outputs and as printed lines; a trailing '/' of the root changes
%! % nothing. No file of dev/ was opened, and no descriptor is left open.
%! [names, descriptions] = expected(root, kernel);
%! watcher = fullfile(source_root(), 'tests', 'octave', 'lib', 'watch_opens.py');
%! [to_watcher, from_watcher, pid] = popen2('python3', {watcher, fullfile(root, 'dev'), fullfile(root, 'dev/serial/by-id')});
%! assert(read_line(from_watcher, 10), 'ready');
%! descriptors = open_descriptors();
%! [got_names, got_descriptions] = linkPorts(root);
%! only_names = linkPorts([root '/']);
%! printed = evalc('linkPorts(root)');
%! assert(open_descriptors(), descriptors);
%! fclose(fopen(fullfile(root, 'dev', 'ttyUSB2')));   % the one open the watcher must see
%! fputs(to_watcher, "done\n");
%! fflush(to_watcher);
%! opened = read_line(from_watcher, 10);
%! fclose(to_watcher);
%! fclose(from_watcher);
%! waitpid(pid);
%! assert(opened, 'ttyUSB2');
%! assert(got_names, names);
%! assert(got_descriptions, descriptions);
%! assert(only_names, names);
%! width = max(cellfun(@numel, names));
%! lines = cellfun(@(n, d) sprintf('%-*s  %s\n', width, n, d), names, descriptions, 'UniformOutput', false);
%! bare = cellfun(@isempty, descriptions);
%! lines(bare) = cellfun(@(n) [n "\n"], names(bare), 'UniformOutput', false);
%! assert(printed, [lines{:}]);

%!test
%! % A folder with no dev/ lists nothing; a root that is no folder fails.
%! [names, descriptions] = linkPorts(fullfile(root, 'sys'));
%! assert(size(names), [0 1]);
%! assert(iscell(names) && iscell(descriptions) && isequal(size(descriptions), [0 1]));
%! assert(evalc('linkPorts(fullfile(root, ''sys''))'), sprintf('no serial port found\n'));
%! assert_error_ends(@() linkPorts(fullfile(root, 'missing')), 'Error: folder does not exist');
%! assert_error_ends(@() linkPorts(fullfile(root, 'dev', 'null')), 'Error: folder does not exist');
%! assert_error_ends(@() linkPorts([root char(0) 'x']), 'Error: folder does not exist');
%! assert_error_ends(@() linkPorts(char(zeros(1, 0))), 'Error: folder does not exist');

%!test
%! % The system's own ports: the default root is '/', every name is there.
%! [names, descriptions] = linkPorts();
%! assert(iscellstr(names) && iscellstr(descriptions));
%! assert(size(names, 2), 1);
%! assert(size(descriptions), size(names));
%! assert(linkPorts('/'), names);
%! for k = 1:numel(names)
%!   assert(exist(names{k}, 'file') > 0, names{k});
%! end
