function [sendMex, sendFloor] = time_sends(h, n, batch)
% N samples each of linkSend(h, 0, 0, 0) and floor_write(h, 0, 0, 0), in
% seconds a call, each sample timing a batch of BATCH calls. The two take
% turns, so load from other work falls on both alike.
  sendMex = zeros(n, 1);
  sendFloor = zeros(n, 1);
  for k = 1:n
    id = tic;
    for j = 1:batch, linkSend(h, 0, 0, 0); end
    sendMex(k) = toc(id) / batch;
    id = tic;
    for j = 1:batch, floor_write(h, 0, 0, 0); end
    sendFloor(k) = toc(id) / batch;
  end
end
