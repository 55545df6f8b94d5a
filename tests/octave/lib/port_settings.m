function text = port_settings(port)
% PORT_SETTINGS  The terminal settings of PORT as stty -a prints them.
  [status, text] = system(['stty -a -F ' port]);
  assert(status == 0, '%s', text);
end
