function lat = latencies(r, seqs, stamps)
% Each call's return time minus the stamp of the frame it returned (R from
% time_reads; SEQS and STAMPS from frame_times), NaN where none is found.
  lat = NaN(numel(r.seq), 1);
  for k = 1:numel(r.seq)
    t = stamps(seqs == r.seq(k) & stamps <= r.stop(k) + 0.01);
    if ~isempty(t)
      lat(k) = r.stop(k) - max(t);
    end
  end
end
